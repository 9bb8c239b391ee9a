// The desktop's animation setting, on the keyfile backend in a temporary folder.
#include "support/GSettingsTool.h"
#include "support/ScopedEnv.h"

#include "platform/ReduceMotion.h"
#include "platform/linux/GSettings.h"

#include <QTemporaryDir>

using namespace pierline;
using namespace pierline::test;

TEST(LastContextMotion, AnimationsOffMeansReducedMotionAndTheDefaultKeepsThem) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    const ScopedEnv backend("GSETTINGS_BACKEND", QByteArray("keyfile"));
    const ScopedEnv home("XDG_CONFIG_HOME", config.path().toUtf8());
    // Written before this process opens the backend, which reads the file once.
    runGsettings({"set", "org.gnome.desktop.interface", "enable-animations", "false"},
                 {{"GSETTINGS_BACKEND", "keyfile"}, {"XDG_CONFIG_HOME", config.path()}});
    const ReduceMotion reduce = systemReduceMotion();
    EXPECT_TRUE(reduce());
    resetGSettingsKey({"org.gnome.desktop.interface", "enable-animations", {}, "gsettings-desktop-schemas"});
    EXPECT_FALSE(reduce());
}
