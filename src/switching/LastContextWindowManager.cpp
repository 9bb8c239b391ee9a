#include "LastContextWindowManager.h"

#include "AppSettings.h"
#include "core/LastContextNotificationKeys.h"
#include "platform/Log.h"
#include "store/DockPresetManager.h"
#include "store/StoreError.h"

#include <algorithm>

namespace pierline {

namespace {

constexpr double kTickSeconds = 0.1;
constexpr double kMinimumDuration = 5.0;

const Logger& log() {
    static const Logger logger(QStringLiteral("LastContext"));
    return logger;
}

LastContextWindowManager* g_shared = nullptr;

bool hasText(const std::optional<QString>& text) {
    return text && !text->trimmed().isEmpty();
}

} // namespace

QString popupKindName(PopupKind kind) {
    switch (kind) {
    case PopupKind::outgoingPrompt:
        return QStringLiteral("outgoingPrompt");
    case PopupKind::incomingDisplay:
        return QStringLiteral("incomingDisplay");
    case PopupKind::editing:
        return QStringLiteral("editing");
    }
    return {};
}

SwitchContextRequest SwitchContextRequest::fromUserInfo(const QVariantMap& userInfo) {
    const auto uuid = [&](const QString& key) -> std::optional<QUuid> {
        const QVariant v = userInfo.value(key);
        if (v.metaType().id() != QMetaType::QUuid)
            return std::nullopt;
        return v.toUuid();
    };
    const auto text = [&](const QString& key) -> std::optional<QString> {
        const QVariant v = userInfo.value(key);
        if (v.metaType().id() != QMetaType::QString)
            return std::nullopt;
        return v.toString();
    };
    using Keys = LastContextNotificationKeys;
    return {uuid(Keys::previousPresetID), text(Keys::previousPresetName), uuid(Keys::newPresetID),
            text(Keys::newPresetName).value_or(QStringLiteral("Preset"))};
}

LastContextWindowManager::LastContextWindowManager(AppSettings& settings, DockPresetManager& presets,
                                                   FloatingPanelFactory makePanel)
    : settings_(settings), presets_(presets), panelFactory_(std::move(makePanel)) {}

LastContextWindowManager::~LastContextWindowManager() {
    stopTimer();
    if (observer_)
        NotificationCenter::shared().removeObserver(*observer_);
    if (g_shared == this)
        g_shared = nullptr;
}

LastContextWindowManager* LastContextWindowManager::shared() {
    return g_shared;
}
void LastContextWindowManager::setShared(LastContextWindowManager* manager) {
    g_shared = manager;
}

void LastContextWindowManager::startObserving() {
    if (observer_)
        return;
    observer_ = NotificationCenter::shared().addObserver(
        kPresetSwitchContextRequestedNotification, Delivery::MainQueue, [this](const Notification& n) {
            const SwitchContextRequest r = SwitchContextRequest::fromUserInfo(n.userInfo);
            handleSwitch(r.previousId, r.previousName, r.newId, r.newName);
        });
}

DockPresetPtr LastContextWindowManager::lookUp(const std::optional<QUuid>& id,
                                               const std::optional<QString>& name) const {
    // An id that finds nothing means no preset: a name can belong to another one.
    if (id)
        return presets_.fetchPreset(*id);
    if (name)
        return presets_.fetchPreset(*name);
    return nullptr;
}

void LastContextWindowManager::handleSwitch(const std::optional<QUuid>& previousId,
                                            const std::optional<QString>& previousName,
                                            const std::optional<QUuid>& newId, const QString& newName) {
    if (!settings_.lastContextEnabled()) {
        dismiss();
        return;
    }
    pendingIncomingContext_.reset();
    const DockPresetPtr outgoing = lookUp(previousId, previousName);
    const DockPresetPtr incoming = lookUp(newId, newName);
    const bool prompt = outgoing && settings_.lastContextPromptOnSwitch();
    const bool hasNote =
        incoming && (hasText(incoming->lastContextStatus()) || hasText(incoming->lastContextNextSteps()));
    const bool showIncoming = settings_.lastContextShowIncomingContext() && hasNote;
    if (!prompt && !showIncoming) {
        dismiss();
        return;
    }
    IncomingContextPayload payload{newName, std::nullopt, std::nullopt, std::nullopt};
    if (incoming)
        payload = {incoming->name().value_or(newName), incoming->lastContextStatus(), incoming->lastContextNextSteps(),
                   incoming->lastContextUpdatedAt()};
    if (prompt) {
        if (showIncoming)
            pendingIncomingContext_ = payload;
        showOutgoingPrompt(outgoing, newName);
    } else {
        showIncomingDisplay(payload);
    }
}

QString LastContextWindowManager::savedText(const DockPreset& preset) {
    QStringList parts;
    for (const auto& text : {preset.lastContextStatus(), preset.lastContextNextSteps()})
        if (hasText(text))
            parts.append(text->trimmed());
    return parts.join(QStringLiteral("\n\n"));
}

void LastContextWindowManager::showOutgoingPrompt(const DockPresetPtr& outgoing, const QString& newName) {
    outgoingPresetObjectID_ = outgoing->objectIdUri();
    currentPopupKind_ = PopupKind::outgoingPrompt;
    viewModel_.setPresentationMode(PresentationMode::switchingOutgoing);
    viewModel_.setOutgoingPresetName(outgoing->name());
    viewModel_.setIncomingPresetName(newName);
    viewModel_.setIncomingStatus(std::nullopt);
    viewModel_.setIncomingNextSteps(std::nullopt);
    viewModel_.setIncomingUpdatedAt(std::nullopt);
    viewModel_.setShouldShowOutgoingPrompt(true);
    viewModel_.setShouldShowIncomingContext(false);
    viewModel_.setAutoCloseEnabled(settings_.lastContextAutoCloseEnabled());
    viewModel_.setShouldAutoFocusStatus(settings_.lastContextAutoFocusStatus());
    const QString text = savedText(*outgoing);
    viewModel_.setContextText(text);
    viewModel_.initialContextText = text;
    autoCloseDuration_ = duration();
    resetCountdown();
    makePanel(true);
    presentPanel();
    startCountdown();
}

void LastContextWindowManager::showIncomingDisplay(const IncomingContextPayload& payload) {
    outgoingPresetObjectID_.reset();
    currentPopupKind_ = PopupKind::incomingDisplay;
    pendingIncomingContext_.reset();
    viewModel_.setPresentationMode(PresentationMode::incomingDisplay);
    viewModel_.setOutgoingPresetName(std::nullopt);
    viewModel_.setIncomingPresetName(payload.presetName);
    viewModel_.setIncomingStatus(payload.status);
    viewModel_.setIncomingNextSteps(payload.nextSteps);
    viewModel_.setIncomingUpdatedAt(payload.updatedAt);
    viewModel_.setShouldShowIncomingContext(true);
    viewModel_.setAutoCloseEnabled(settings_.lastContextAutoCloseEnabled());
    viewModel_.setShouldAutoFocusStatus(settings_.lastContextAutoFocusStatus());
    autoCloseDuration_ = duration();
    resetCountdown();
    makePanel(false);
    presentPanel();
    startCountdown();
}

bool LastContextWindowManager::showEditor(const DockPresetPtr& preset) {
    if (!settings_.lastContextEnabled() || !preset)
        return false;
    outgoingPresetObjectID_ = preset->objectIdUri();
    currentPopupKind_ = PopupKind::editing;
    pendingIncomingContext_.reset();
    viewModel_.setPresentationMode(PresentationMode::editing);
    viewModel_.setOutgoingPresetName(preset->name());
    viewModel_.setIncomingPresetName(preset->name().value_or(QString()));
    viewModel_.setIncomingStatus(preset->lastContextStatus());
    viewModel_.setIncomingNextSteps(preset->lastContextNextSteps());
    viewModel_.setIncomingUpdatedAt(preset->lastContextUpdatedAt());
    viewModel_.setShouldShowOutgoingPrompt(true);
    viewModel_.setShouldShowIncomingContext(false);
    viewModel_.setAutoCloseEnabled(false);
    viewModel_.setShouldAutoFocusStatus(true);
    const QString text = savedText(*preset);
    viewModel_.setContextText(text);
    viewModel_.initialContextText = text;
    resetCountdown();
    makePanel(true);
    presentPanel();
    return true;
}

void LastContextWindowManager::makePanel(bool interactive) {
    if (panel_ && panel_->allowsKey() == interactive)
        return;
    panel_ = panelFactory_(interactive);
}

void LastContextWindowManager::presentPanel() {
    panel_->setAlpha(1.0);
    panel_->place();
    panel_->show();
}

double LastContextWindowManager::duration() const {
    return std::max(settings_.lastContextAutoCloseSeconds(), kMinimumDuration);
}

void LastContextWindowManager::stopTimer() {
    if (autoCloseTimer_)
        Timers::shared().cancel(*autoCloseTimer_);
    autoCloseTimer_.reset();
}

void LastContextWindowManager::resetCountdown() {
    stopTimer();
    autoCloseStartDate_.reset();
    autoCloseRemaining_ = autoCloseDuration_;
    viewModel_.setAutoCloseRemaining(autoCloseDuration_);
    viewModel_.setAutoCloseProgress(1.0);
    viewModel_.setAutoClosePaused(false);
}

void LastContextWindowManager::startCountdown() {
    if (!viewModel_.autoCloseEnabled())
        return;
    stopTimer();
    autoCloseStartDate_ = Clock::shared().now();
    autoCloseTimer_ = Timers::shared().schedule(kTickSeconds, true, [this] { handleAutoCloseTick(); });
}

void LastContextWindowManager::handleAutoCloseTick() {
    if (!autoCloseStartDate_)
        return;
    const double elapsed = autoCloseStartDate_->msecsTo(Clock::shared().now()) / 1000.0;
    const double remaining = std::max(0.0, autoCloseRemaining_ - elapsed);
    viewModel_.setAutoCloseRemaining(remaining);
    viewModel_.setAutoCloseProgress(autoCloseDuration_ > 0 ? remaining / autoCloseDuration_ : 0.0);
    if (remaining <= 0.0) {
        stopTimer();
        closeAndContinue();
    }
}

void LastContextWindowManager::pauseAutoClose() {
    if (!viewModel_.autoCloseEnabled() || !autoCloseTimer_)
        return;
    autoCloseRemaining_ = viewModel_.autoCloseRemaining();
    stopTimer();
    autoCloseStartDate_.reset();
    viewModel_.setAutoClosePaused(true);
}

void LastContextWindowManager::resumeAutoClose() {
    if (!viewModel_.autoCloseEnabled() || !viewModel_.autoClosePaused())
        return;
    viewModel_.setAutoClosePaused(false);
    autoCloseStartDate_ = Clock::shared().now();
    autoCloseTimer_ = Timers::shared().schedule(kTickSeconds, true, [this] { handleAutoCloseTick(); });
}

void LastContextWindowManager::save() {
    if (outgoingPresetObjectID_) {
        ManagedObjectContext& context = presets_.context();
        const auto preset = std::dynamic_pointer_cast<DockPreset>(context.existingObject(*outgoingPresetObjectID_));
        if (preset) {
            const QString text = viewModel_.contextText().trimmed();
            if (text.isEmpty()) {
                preset->setLastContextStatus(std::nullopt);
                preset->setLastContextNextSteps(std::nullopt);
                preset->setLastContextUpdatedAt(std::nullopt);
            } else {
                preset->setLastContextStatus(text);
                preset->setLastContextNextSteps(std::nullopt);
                preset->setLastContextUpdatedAt(Clock::shared().now());
            }
            try {
                context.save();
            } catch (const StoreError& e) {
                // The note stays in memory; the panel has nothing useful to say about it.
                log().error(QStringLiteral("Saving the Last Context note failed: %1").arg(e.description()));
            }
        }
    }
    closeAndContinue();
}

void LastContextWindowManager::close() {
    closeAndContinue();
}

void LastContextWindowManager::closeAndContinue() {
    std::optional<IncomingContextPayload> next;
    if (currentPopupKind_ == PopupKind::outgoingPrompt)
        next = pendingIncomingContext_;
    dismiss([this, next] {
        if (next)
            showIncomingDisplay(*next);
    });
}

void LastContextWindowManager::dismiss(std::function<void()> completion) {
    stopTimer();
    autoCloseStartDate_.reset();
    outgoingPresetObjectID_.reset();
    pendingIncomingContext_.reset();
    currentPopupKind_.reset();
    if (!panel_) {
        if (completion)
            completion();
        return;
    }
    FloatingPanel* panel = panel_.get();
    panel->fadeOut([this, panel, completion = std::move(completion)] {
        // A request that reused or replaced the panel while it faded wins.
        if (panel_.get() != panel || currentPopupKind_)
            return;
        panel->orderOut();
        panel->setAlpha(1.0);
        if (completion)
            completion();
    });
}

} // namespace pierline
