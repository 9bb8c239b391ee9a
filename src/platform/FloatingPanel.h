#pragma once

#include <functional>
#include <memory>

namespace pierline {

// A small floating panel above other windows, on every workspace. An interactive panel takes
// the keyboard and activates the application when shown; a non-interactive one is ordered front
// without ever taking focus.
class FloatingPanel {
public:
    virtual ~FloatingPanel() = default;
    virtual bool allowsKey() const = 0;
    // Top-right of the screen in use.
    virtual void place() = 0;
    virtual void show() = 0;
    // Fades to transparent (at once when motion is reduced), then runs `done`.
    virtual void fadeOut(std::function<void()> done) = 0;
    virtual void orderOut() = 0;
    virtual void setAlpha(double alpha) = 0;
};

using FloatingPanelFactory = std::function<std::unique_ptr<FloatingPanel>(bool interactive)>;

// A panel with no window: it only records what was asked of it. Used by a headless app and by
// the logic tests; its fade completes at once.
class RecordingPanel : public FloatingPanel {
public:
    explicit RecordingPanel(bool interactive) : interactive_(interactive) {}
    bool allowsKey() const override { return interactive_; }
    void place() override { ++placements_; }
    void show() override {
        visible_ = true;
        activated_ = interactive_;
        ++shows_;
    }
    void fadeOut(std::function<void()> done) override {
        alpha_ = 0.0;
        done();
    }
    void orderOut() override {
        visible_ = false;
        activated_ = false;
    }
    void setAlpha(double alpha) override { alpha_ = alpha; }

    bool visible() const { return visible_; }
    bool activated() const { return activated_; }
    double alpha() const { return alpha_; }
    int placements() const { return placements_; }
    int shows() const { return shows_; }

private:
    bool interactive_;
    bool visible_ = false;
    bool activated_ = false;
    double alpha_ = 1.0;
    int placements_ = 0;
    int shows_ = 0;
};

inline FloatingPanelFactory recordingPanelFactory() {
    return [](bool interactive) { return std::make_unique<RecordingPanel>(interactive); };
}

} // namespace pierline
