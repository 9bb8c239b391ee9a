#pragma once

#include "LastContextViewModel.h"
#include "core/DockPreset.h"
#include "platform/Clock.h"
#include "platform/FloatingPanel.h"
#include "platform/NotificationCenter.h"

#include <QDateTime>
#include <QUuid>
#include <QVariantMap>
#include <memory>
#include <optional>

namespace pierline {

class AppSettings;
class DockPresetManager;

enum class PopupKind { outgoingPrompt, incomingDisplay, editing };
QString popupKindName(PopupKind kind);

// The saved note of the preset being entered, shown after the prompt for the one left.
struct IncomingContextPayload {
    QString presetName;
    std::optional<QString> status;
    std::optional<QString> nextSteps;
    std::optional<QDateTime> updatedAt;
};

// The previous and new preset of one switch, as the switch-context request carries them.
struct SwitchContextRequest {
    std::optional<QUuid> previousId;
    std::optional<QString> previousName;
    std::optional<QUuid> newId;
    QString newName;
    // Values of the wrong type count as absent; a missing new name is "Preset".
    static SwitchContextRequest fromUserInfo(const QVariantMap& userInfo);
};

// Asks for a note on the preset being left and shows the note of the preset entered. Main
// thread only; the countdown runs on the shared Clock and Timers.
class LastContextWindowManager {
public:
    LastContextWindowManager(AppSettings& settings, DockPresetManager& presets,
                             FloatingPanelFactory makePanel = recordingPanelFactory());
    ~LastContextWindowManager();
    LastContextWindowManager(const LastContextWindowManager&) = delete;
    LastContextWindowManager& operator=(const LastContextWindowManager&) = delete;

    // The process-wide manager once the app made one, else nullptr.
    static LastContextWindowManager* shared();
    static void setShared(LastContextWindowManager* manager);

    // Observes the switch-context request on the main queue.
    void startObserving();
    void handleSwitch(const std::optional<QUuid>& previousId, const std::optional<QString>& previousName,
                      const std::optional<QUuid>& newId, const QString& newName);
    // Opens the panel to edit the preset's note; false (nothing opened) when Last Context is off.
    bool showEditor(const DockPresetPtr& preset);

    // --- Panel callbacks.
    void close();
    void save();
    void pauseAutoClose();
    void resumeAutoClose();
    void handleAutoCloseTick();

    LastContextViewModel& viewModel() { return viewModel_; }
    const LastContextViewModel& viewModel() const { return viewModel_; }
    FloatingPanel* panel() const { return panel_.get(); }
    bool observing() const { return observer_.has_value(); }
    bool timerRunning() const { return autoCloseTimer_.has_value(); }
    const std::optional<QDateTime>& autoCloseStartDate() const { return autoCloseStartDate_; }
    double autoCloseRemaining() const { return autoCloseRemaining_; }
    double autoCloseDuration() const { return autoCloseDuration_; }
    const std::optional<QString>& outgoingPresetObjectID() const { return outgoingPresetObjectID_; }
    const std::optional<PopupKind>& currentPopupKind() const { return currentPopupKind_; }
    const std::optional<IncomingContextPayload>& pendingIncomingContext() const { return pendingIncomingContext_; }

private:
    void showOutgoingPrompt(const DockPresetPtr& outgoing, const QString& newName);
    void showIncomingDisplay(const IncomingContextPayload& payload);
    void makePanel(bool interactive);
    void presentPanel();
    void closeAndContinue();
    void dismiss(std::function<void()> completion = {});
    void resetCountdown();
    void startCountdown();
    void stopTimer();
    double duration() const;
    DockPresetPtr lookUp(const std::optional<QUuid>& id, const std::optional<QString>& name) const;
    static QString savedText(const DockPreset& preset);

    AppSettings& settings_;
    DockPresetManager& presets_;
    FloatingPanelFactory panelFactory_;

    LastContextViewModel viewModel_;
    std::unique_ptr<FloatingPanel> panel_;
    std::optional<ObserverToken> observer_;
    std::optional<TimerId> autoCloseTimer_;
    std::optional<QDateTime> autoCloseStartDate_;
    double autoCloseRemaining_ = 0.0;
    double autoCloseDuration_ = 0.0;
    std::optional<QString> outgoingPresetObjectID_;
    std::optional<PopupKind> currentPopupKind_;
    std::optional<IncomingContextPayload> pendingIncomingContext_;
};

} // namespace pierline
