#include "ContextWatchers.h"

namespace pierline {
namespace {

// A process without the widget layer has no screens to ask.
class HeadlessDisplaySetWatcher : public DisplaySetWatcher {
public:
    std::optional<QString> start(std::function<void()>) override {
        return QStringLiteral("the screens are watched only by the running app");
    }
    std::optional<QStringList> current() const override { return std::nullopt; }
};

} // namespace

std::unique_ptr<DisplaySetWatcher> createHeadlessDisplaySetWatcher() {
    return std::make_unique<HeadlessDisplaySetWatcher>();
}

} // namespace pierline
