#include "triggers/SwitchRequest.h"

#include "apply/DockManager.h"
#include "core/SettingDescriptors.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"

namespace pierline {
namespace {

bool asksFirst(SwitchOrigin origin) {
    return origin == SwitchOrigin::Hotkey || origin == SwitchOrigin::AdvancedHotkey;
}

// A change of Focus or of the desktop's context is the user's own doing: it switches at once.
bool bypassesCooldown(SwitchOrigin origin) {
    return origin == SwitchOrigin::Focus || origin == SwitchOrigin::ContextRule;
}

SwitchRequester::Fetcher defaultFetcher() {
    return [](const QUuid& id) { return DockPresetManager::shared().fetchPreset(id); };
}

SwitchRequester::Applier defaultApplier() {
    return [](const PresetSnapshot& preset, SwitchOrigin origin) {
        runAsync(QueuePriority::UserInitiated, [preset, origin] {
            try {
                DockManager::shared().applyPreset(preset, bypassesCooldown(origin));
            } catch (const std::exception& error) {
                printWarning(QStringLiteral("Could not switch to preset '%1': %2")
                                 .arg(preset.name, QString::fromUtf8(error.what())));
            }
        });
    };
}

} // namespace

QString switchOriginName(SwitchOrigin origin) {
    switch (origin) {
    case SwitchOrigin::Hotkey:
        return QStringLiteral("hotkey");
    case SwitchOrigin::AdvancedHotkey:
        return QStringLiteral("advanced hotkey");
    case SwitchOrigin::Command:
        return QStringLiteral("command");
    case SwitchOrigin::Menu:
        return QStringLiteral("menu");
    case SwitchOrigin::DeepLink:
        return QStringLiteral("deep link");
    case SwitchOrigin::Intent:
        return QStringLiteral("intent");
    case SwitchOrigin::Focus:
        return QStringLiteral("Focus");
    case SwitchOrigin::ContextRule:
        return QStringLiteral("context");
    }
    return {};
}

AlertContent hotkeyPresetSwitchConfirmationContent(const QString& name) {
    return {QStringLiteral("Switch to %1?").arg(name),
            QStringLiteral("This hotkey will apply the \"%1\" preset and update your Dock.").arg(name),
            QStringLiteral("Switch"), QStringLiteral("Cancel")};
}

void postSwitchRequest(const QUuid& presetId) {
    NotificationCenter::shared().post(kSwitchRequestNotification,
                                      {{kSwitchRequestPresetIdKey, QVariant::fromValue(presetId)}});
}

std::optional<QUuid> switchRequestPresetId(const Notification& notification) {
    const QVariant value = notification.userInfo.value(kSwitchRequestPresetIdKey);
    const QUuid id = value.typeId() == QMetaType::QUuid ? value.toUuid() : QUuid(value.toString());
    if (id.isNull())
        return std::nullopt;
    return id;
}

SwitchRequester& SwitchRequester::shared() {
    static SwitchRequester requester;
    return requester;
}

SwitchRequester::SwitchRequester() : fetcher_(defaultFetcher()), applier_(defaultApplier()) {}

void SwitchRequester::setFetcherForTesting(Fetcher fetcher) {
    fetcher_ = fetcher ? std::move(fetcher) : defaultFetcher();
}

void SwitchRequester::setApplierForTesting(Applier applier) {
    applier_ = applier ? std::move(applier) : defaultApplier();
}

bool SwitchRequester::request(const QUuid& presetId, SwitchOrigin origin) {
    return runOnMainSyncResult([&] {
        const DockPresetPtr preset = fetcher_(presetId);
        if (!preset || !preset->name()) {
            printWarning(QStringLiteral("Error: Cannot switch to preset. Preset or name not found for ID: %1")
                             .arg(uuidText(presetId)));
            return false;
        }
        const PresetSnapshot snapshot = PresetSnapshot::of(*preset);
        printLine(
            QStringLiteral("Switching to preset ID: %1, Current Name: '%2'").arg(uuidText(presetId), snapshot.name));
        if (!asksFirst(origin) || !readBoolSetting(Setting::AskBeforeSwitchingPresetsWithHotkeys)) {
            applier_(snapshot, origin);
            return true;
        }
        // The box runs from the main queue, so the key press that asked returns first.
        runOnMainAsync([this, presetId, snapshot, origin] { confirmThenApply(presetId, snapshot, origin); });
        return true;
    });
}

void SwitchRequester::confirmThenApply(const QUuid& presetId, const PresetSnapshot& preset, SwitchOrigin origin) {
    // One box at a time: presses while it is open are dropped.
    if (confirmationAlertPresetId_)
        return;
    confirmationAlertPresetId_ = presetId;
    const AlertResponse response =
        AlertPresenter::shared().runModal(hotkeyPresetSwitchConfirmationContent(preset.name));
    confirmationAlertPresetId_.reset();
    if (response == AlertResponse::Confirm)
        applier_(preset, origin);
}

} // namespace pierline
