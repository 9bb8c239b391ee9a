#pragma once

#include "triggers/KeyCombo.h"

#include <QUuid>
#include <functional>
#include <memory>

namespace pierline {

// One system-wide key combination and what runs when it goes down and up. Registered from
// creation until paused or destroyed; releasing the last shared_ptr unregisters it. A
// registration the system refuses (another client holds the combination, the keyboard lacks the
// key) is silent: the object exists and its handlers never run. Main thread only.
class HotKey {
public:
    using Handler = std::function<void()>;

    // Makes the hotkey and registers it at once.
    static std::shared_ptr<HotKey> create(KeyCombo keyCombo, Handler keyDown = {}, Handler keyUp = {});
    ~HotKey();
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    const QUuid& identifier() const { return identifier_; }
    const KeyCombo& keyCombo() const { return keyCombo_; }

    const Handler& keyDownHandler() const { return keyDown_; }
    const Handler& keyUpHandler() const { return keyUp_; }
    void setKeyDownHandler(Handler handler) { keyDown_ = std::move(handler); }
    void setKeyUpHandler(Handler handler) { keyUp_ = std::move(handler); }

    bool isPaused() const { return paused_; }
    // Pausing unregisters the combination; resuming registers it again under a new id.
    void setPaused(bool paused);

private:
    HotKey(KeyCombo keyCombo, Handler keyDown, Handler keyUp);

    QUuid identifier_;
    KeyCombo keyCombo_;
    Handler keyDown_;
    Handler keyUp_;
    bool paused_ = false;
    std::weak_ptr<HotKey> self_;
};

} // namespace pierline
