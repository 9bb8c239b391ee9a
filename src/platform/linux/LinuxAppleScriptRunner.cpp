#include "platform/AppleScriptRunner.h"

#include <atomic>

namespace pierline {
namespace {

// There is no AppleScript host on Linux; callers take their fallback path.
class UnavailableAppleScriptRunner : public AppleScriptRunner {
public:
    std::optional<QString> run(const QString&) override {
        return QStringLiteral("AppleScript is not available on this system");
    }
};

std::atomic<AppleScriptRunner*> g_runner{nullptr};

} // namespace

std::unique_ptr<AppleScriptRunner> createSystemAppleScriptRunner() {
    return std::make_unique<UnavailableAppleScriptRunner>();
}

AppleScriptRunner& AppleScriptRunner::shared() {
    static const std::unique_ptr<AppleScriptRunner> system = createSystemAppleScriptRunner();
    AppleScriptRunner* injected = g_runner.load();
    return injected ? *injected : *system;
}

void AppleScriptRunner::setShared(AppleScriptRunner* runner) {
    g_runner.store(runner);
}

} // namespace pierline
