#pragma once

#include "core/DockPreset.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"
#include "switching/PresetSnapshot.h"

#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

namespace pierline {

// Every trigger that switches the Dock to a preset goes through requestSwitch. The advanced
// hotkeys ask for it by posting this notification, with the preset's id under the key below;
// the shortcut manager observes it.
inline const QString kSwitchRequestNotification = QStringLiteral("advancedHotkeySwitchRequest");
inline const QString kSwitchRequestPresetIdKey = QStringLiteral("presetID");

// What asked for a switch. Only key presses ask before switching; Focus and context rules skip
// the cooldown.
enum class SwitchOrigin { Hotkey, AdvancedHotkey, Command, Menu, DeepLink, Intent, Focus, ContextRule };

QString switchOriginName(SwitchOrigin origin);

// The confirmation a key press asks for, for the preset named `name`: confirm first, cancel second.
AlertContent hotkeyPresetSwitchConfirmationContent(const QString& name);

// Posts the switch request notification for a preset (the advanced hotkeys' action).
void postSwitchRequest(const QUuid& presetId);
// The preset id a switch request notification carries; nullopt when it carries none.
std::optional<QUuid> switchRequestPresetId(const Notification& notification);

// The one switch path. A request reads its preset once: that snapshot is what the confirmation
// names and what the apply entry writes. One confirmation box at a time: a request that would
// ask while one is open is dropped. Main thread (a request from elsewhere hops there).
class SwitchRequester {
public:
    using Fetcher = std::function<DockPresetPtr(const QUuid& id)>;
    // Hands the snapshot to the apply entry; by default on a user-initiated background queue,
    // without waiting.
    using Applier = std::function<void(const PresetSnapshot& preset, SwitchOrigin origin)>;

    static SwitchRequester& shared();

    // False, with the reason logged, when there is no such preset.
    bool request(const QUuid& presetId, SwitchOrigin origin);
    // The preset whose confirmation is on screen.
    std::optional<QUuid> confirmationAlertPresetId() const { return confirmationAlertPresetId_; }

    // An empty function puts the default back.
    void setFetcherForTesting(Fetcher fetcher);
    void setApplierForTesting(Applier applier);

private:
    SwitchRequester();
    void confirmThenApply(const QUuid& presetId, const PresetSnapshot& preset, SwitchOrigin origin);

    Fetcher fetcher_;
    Applier applier_;
    std::optional<QUuid> confirmationAlertPresetId_;
};

inline bool requestSwitch(const QUuid& presetId, SwitchOrigin origin) {
    return SwitchRequester::shared().request(presetId, origin);
}

} // namespace pierline
