#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

class QLibrary;

namespace pierline {

// One of our modules beside the tools (libpierline-x11.so, libpierline-desktop.so): a table of
// functions behind one exported entry, loaded on first use so that a process that never needs
// what the module wraps never maps its libraries. Every table starts with its version.
struct LoadedModule {
    // Kept with the table: destroying a QLibrary does not unload it, and a dropped one would be
    // reported as a leak.
    std::shared_ptr<QLibrary> library;
    const void* table = nullptr; // nullptr when the module could not be loaded
    QString reason;              // then why: "Cannot load PATH: reason"
};

// Loads `fileName` from the tools folder and calls `entry`; a table of another version is
// refused. Never unloaded, since the objects the module makes live until exit. Logs a failure
// under `logCategory`. Callers keep the result in a function-local static: once per process.
LoadedModule loadModule(const char* fileName, const char* entry, quint32 version, const QString& logCategory);

} // namespace pierline
