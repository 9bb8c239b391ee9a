// GSettings on the keyfile backend in a temporary folder, with the schemas the bootstrap installs.
#include "platform/linux/GSettings.h"

#include "support/ScopedEnv.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace pierline {
namespace {

const QString kPlank = QStringLiteral("net.launchpad.plank.dock.settings"); // relocatable
const QString kInterface = QStringLiteral("org.gnome.desktop.interface");   // fixed path

TEST(GSettings, KeysGioWouldAbortOnAreErrorsAndValuesRoundTrip) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    const test::ScopedEnv backend("GSETTINGS_BACKEND", QByteArray("keyfile"));
    const test::ScopedEnv home("XDG_CONFIG_HOME", config.path().toUtf8());

    const struct {
        GSettingsKey key;
        const char* problem;
    } unusable[] = {
        {{kPlank, "dock-items", {}, "plank"}, "not installed; install plank"},
        {{kInterface, "gtk-theme", "/org/gnome/desktop/elsewhere/", "pkg"}, "not installed; install pkg"},
        {{kPlank, "dock-items", "/net/launchpad//docks/", "plank"}, "is not a settings path"},
        {{kPlank, "dock-items", "net/launchpad/plank/docks/dock1/", "plank"}, "is not a settings path"},
        {{"no.such.schema", "items", {}, "some-package"},
         "no.such.schema (key items) is not installed; install some-package"},
        {{kInterface, "no-such-key", {}, "pkg"}, "not installed"},
    };
    for (const auto& c : unusable) {
        const std::optional<QString> problem = gsettingsProblem(c.key);
        ASSERT_TRUE(problem.has_value()) << c.problem;
        EXPECT_TRUE(problem->contains(QLatin1String(c.problem))) << problem->toStdString();
        EXPECT_EQ(gsettingsWriteProblem(c.key), problem);
        EXPECT_THROW(readGSettingsList(c.key), GSettingsError) << c.problem;
        EXPECT_THROW(writeGSettingsString(c.key, "x"), GSettingsError) << c.problem;
        EXPECT_THROW(resetGSettingsKey(c.key), GSettingsError) << c.problem;
    }

    const GSettingsKey items{kPlank, "dock-items", "/net/launchpad/plank/docks/test/", "plank"};
    const GSettingsKey theme{kPlank, "theme", items.path, "plank"};
    EXPECT_EQ(gsettingsWriteProblem(items), std::nullopt);
    const QStringList order{"b.dockitem", "a.dockitem", "ü.dockitem"};
    writeGSettingsList(items, order);
    EXPECT_EQ(readGSettingsList(items), order);
    EXPECT_EQ(readGSettingsList({kPlank, "dock-items", "/net/launchpad/plank/docks/other/", "plank"}), QStringList());
    const QString defaultTheme = readGSettingsString(theme);
    writeGSettingsString(theme, "Ours");
    EXPECT_EQ(readGSettingsString(theme), "Ours");
    resetGSettingsKey(theme);
    EXPECT_EQ(readGSettingsString(theme), defaultTheme);

    // A key of another type is refused before GIO sees it.
    EXPECT_THROW(readGSettingsList(theme), GSettingsError);
    EXPECT_THROW(writeGSettingsString(items, "x"), GSettingsError);
    EXPECT_EQ(readGSettingsList(items), order);
}

} // namespace
} // namespace pierline
