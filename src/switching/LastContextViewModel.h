#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <optional>

namespace pierline {

enum class PresentationMode { switchingOutgoing, incomingDisplay, editing };

// What the Last Context panel shows. Every setter that changes a value emits changed().
class LastContextViewModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    PresentationMode presentationMode() const { return presentationMode_; }
    void setPresentationMode(PresentationMode v) { assign(presentationMode_, v); }
    const std::optional<QString>& outgoingPresetName() const { return outgoingPresetName_; }
    void setOutgoingPresetName(const std::optional<QString>& v) { assign(outgoingPresetName_, v); }
    const QString& incomingPresetName() const { return incomingPresetName_; }
    void setIncomingPresetName(const QString& v) { assign(incomingPresetName_, v); }
    const std::optional<QString>& incomingStatus() const { return incomingStatus_; }
    void setIncomingStatus(const std::optional<QString>& v) { assign(incomingStatus_, v); }
    const std::optional<QString>& incomingNextSteps() const { return incomingNextSteps_; }
    void setIncomingNextSteps(const std::optional<QString>& v) { assign(incomingNextSteps_, v); }
    const std::optional<QDateTime>& incomingUpdatedAt() const { return incomingUpdatedAt_; }
    void setIncomingUpdatedAt(const std::optional<QDateTime>& v) { assign(incomingUpdatedAt_, v); }
    const QString& contextText() const { return contextText_; }
    void setContextText(const QString& v) { assign(contextText_, v); }
    double autoCloseRemaining() const { return autoCloseRemaining_; }
    void setAutoCloseRemaining(double v) { assign(autoCloseRemaining_, v); }
    double autoCloseProgress() const { return autoCloseProgress_; }
    void setAutoCloseProgress(double v) { assign(autoCloseProgress_, v); }
    bool autoClosePaused() const { return autoClosePaused_; }
    void setAutoClosePaused(bool v) { assign(autoClosePaused_, v); }
    bool autoCloseEnabled() const { return autoCloseEnabled_; }
    void setAutoCloseEnabled(bool v) { assign(autoCloseEnabled_, v); }
    bool shouldShowOutgoingPrompt() const { return shouldShowOutgoingPrompt_; }
    void setShouldShowOutgoingPrompt(bool v) { assign(shouldShowOutgoingPrompt_, v); }
    bool shouldShowIncomingContext() const { return shouldShowIncomingContext_; }
    void setShouldShowIncomingContext(bool v) { assign(shouldShowIncomingContext_, v); }
    bool shouldAutoFocusStatus() const { return shouldAutoFocusStatus_; }
    void setShouldAutoFocusStatus(bool v) { assign(shouldAutoFocusStatus_, v); }
    // The text when the panel opened; not announced.
    QString initialContextText;

    // --- The texts the panel shows.
    static inline const QString kHeader = QStringLiteral("Last Context");
    static inline const QString kStatusLabel = QStringLiteral("Status");
    static inline const QString kNextStepsLabel = QStringLiteral("Next steps");
    static inline const QString kPlaceholder = QStringLiteral("Summarize what you did and what happens next...");
    static inline const QString kHint = QStringLiteral("Capture a quick status update. Press Shift+Enter to save.");
    static inline const QString kCloseButton = QStringLiteral("Close");
    QString title() const;
    // The remaining seconds rounded up.
    QString countdownText() const;
    // The saved time relative to `now`, short style ("5 min. ago"); empty without a time.
    QString updatedAtText(const QDateTime& now) const;
    static QString relativeShort(const QDateTime& when, const QDateTime& now);

signals:
    void changed();

private:
    template <class T> void assign(T& field, const T& value) {
        if (field == value)
            return;
        field = value;
        emit changed();
    }

    PresentationMode presentationMode_ = PresentationMode::switchingOutgoing;
    std::optional<QString> outgoingPresetName_;
    QString incomingPresetName_;
    std::optional<QString> incomingStatus_;
    std::optional<QString> incomingNextSteps_;
    std::optional<QDateTime> incomingUpdatedAt_;
    QString contextText_;
    double autoCloseRemaining_ = 0.0;
    double autoCloseProgress_ = 1.0;
    bool autoClosePaused_ = false;
    bool autoCloseEnabled_ = true;
    bool shouldShowOutgoingPrompt_ = false;
    bool shouldShowIncomingContext_ = false;
    bool shouldAutoFocusStatus_ = true;
};

} // namespace pierline
