#pragma once

#include "platform/FloatingPanel.h"
#include "platform/ReduceMotion.h"

#include <QAbstractAnimation>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <memory>

namespace pierline {

class LastContextWindowManager;
class LastContextWindow;

// The Last Context panel on the desktop: a frameless window of exactly its 440 x 420 content at
// the top right of the screen under the pointer, above other windows and on every workspace. It
// shows the manager's view model and hands the user's save, close, pause and resume to it.
// Needs a QApplication.
class LastContextPanel : public FloatingPanel {
public:
    static constexpr QSize kSize{440, 420};
    static constexpr int kMargin = 18;
    static constexpr int kSlide = 24;
    static constexpr int kFadeInMs = 240;
    static constexpr int kFadeOutMs = 200;

    LastContextPanel(bool interactive, LastContextWindowManager& manager,
                     ReduceMotion reduceMotion = systemReduceMotion());
    ~LastContextPanel() override;
    LastContextPanel(const LastContextPanel&) = delete;
    LastContextPanel& operator=(const LastContextPanel&) = delete;

    bool allowsKey() const override { return interactive_; }
    void place() override;
    void show() override;
    void fadeOut(std::function<void()> done) override;
    void orderOut() override;
    void setAlpha(double alpha) override;

    // Where a panel of `size` goes on a screen whose free area is `available`: kMargin from its
    // right and top edges, and never closer than that to its left and bottom edges.
    static QPoint origin(const QRect& available, QSize size = kSize);

private:
    void stopAnimation();

    bool interactive_;
    ReduceMotion reduceMotion_;
    QPoint target_;
    std::unique_ptr<LastContextWindow> window_;
    QPointer<QAbstractAnimation> animation_;
};

} // namespace pierline
