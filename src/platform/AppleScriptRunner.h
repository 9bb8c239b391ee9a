#pragma once

#include <QString>
#include <memory>
#include <optional>

namespace pierline {

// Runs AppleScript source. Where no scripting host exists, every run reports that as its error.
class AppleScriptRunner {
public:
    virtual ~AppleScriptRunner() = default;

    static AppleScriptRunner& shared();
    static void setShared(AppleScriptRunner* runner); // nullptr restores the system runner

    // nullopt on success; otherwise the compile or execution error.
    virtual std::optional<QString> run(const QString& source) = 0;
};

std::unique_ptr<AppleScriptRunner> createSystemAppleScriptRunner();

} // namespace pierline
