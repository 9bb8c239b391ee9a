#include "platform/linux/Module.h"
#include "platform/linux/DesktopBackend.h"
#include "platform/linux/X11Backend.h"

#include "support/ScopedEnv.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace pierline {
namespace {

// The loader hands out a module's table only when the module, its entry and its version are the
// ones asked for; anything else is a reason naming the module, never a crash or a stale table.
TEST(Module, LoadsOnlyTheTableOfTheVersionAskedFor) {
    for (const auto& [file, entry, version] :
         {std::tuple{desktop::kModuleFileName, desktop::kBackendEntry, desktop::kBackendVersion},
          std::tuple{x11::kModuleFileName, x11::kBackendEntry, x11::kBackendVersion}}) {
        const LoadedModule loaded = loadModule(file, entry, version, QStringLiteral("Test"));
        ASSERT_NE(loaded.table, nullptr) << loaded.reason.toStdString();
        EXPECT_EQ(*static_cast<const quint32*>(loaded.table), version);

        const LoadedModule stale = loadModule(file, entry, version + 1, QStringLiteral("Test"));
        EXPECT_EQ(stale.table, nullptr);
        EXPECT_TRUE(stale.reason.contains(
            QStringLiteral("it is version %1, this program needs %2").arg(version).arg(version + 1)))
            << stale.reason.toStdString();
        EXPECT_TRUE(stale.reason.contains(QLatin1String(file)));

        const LoadedModule noEntry = loadModule(file, "pierlineNoSuchEntry", version, QStringLiteral("Test"));
        EXPECT_EQ(noEntry.table, nullptr);
        EXPECT_TRUE(noEntry.reason.contains(QStringLiteral("it has no pierlineNoSuchEntry")))
            << noEntry.reason.toStdString();
    }
}

// A tools folder without the module, or with a broken file in its place, gives the reason.
TEST(Module, AMissingOrBrokenModuleGivesItsReason) {
    QTemporaryDir tools;
    test::ScopedEnv env("PIERLINE_TOOLS_DIR", tools.path().toUtf8());
    const LoadedModule missing =
        loadModule(desktop::kModuleFileName, desktop::kBackendEntry, desktop::kBackendVersion, QStringLiteral("Test"));
    EXPECT_EQ(missing.table, nullptr);
    EXPECT_EQ(missing.reason, QStringLiteral("Cannot load %1: no such file (reinstall Pierline)")
                                  .arg(tools.filePath(desktop::kModuleFileName)));

    QFile broken(tools.filePath(desktop::kModuleFileName));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not an ELF file");
    broken.close();
    const LoadedModule damaged =
        loadModule(desktop::kModuleFileName, desktop::kBackendEntry, desktop::kBackendVersion, QStringLiteral("Test"));
    EXPECT_EQ(damaged.table, nullptr);
    EXPECT_TRUE(damaged.reason.startsWith(QStringLiteral("Cannot load "))) << damaged.reason.toStdString();
}

} // namespace
} // namespace pierline
