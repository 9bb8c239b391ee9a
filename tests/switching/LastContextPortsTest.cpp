// The desktop's animation setting, on the keyfile backend in a temporary folder.
#include "support/GSettingsTool.h"
#include "support/ScopedEnv.h"

#include "platform/Displays.h"
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

namespace {

class TwoScreens : public Displays {
public:
    QList<Display> displays() const override {
        return {{"A", "Left", QRect(0, 0, 1920, 1080), QRect(0, 32, 1920, 1048), true},
                {"B", "Right", QRect(1920, -200, 1280, 1024), QRect(1920, -200, 1280, 1024), false}};
    }
    std::optional<QPoint> pointer() const override { return at; }
    std::optional<QPoint> at;
};

} // namespace

TEST(LastContextDisplays, TheScreenUnderThePointerElseThePrimaryAndTheOverride) {
    TwoScreens screens;
    EXPECT_EQ(screens.underPointer().uuid, "A");
    screens.at = QPoint(2000, -100);
    EXPECT_EQ(screens.underPointer().uuid, "B");
    screens.at = QPoint(-50, 5000); // between screens
    EXPECT_EQ(screens.underPointer().uuid, "A");

    const ScopedEnv none("PIERLINE_DISPLAYS", std::nullopt);
    EXPECT_EQ(Displays::shared().displays().size(), 1);
    EXPECT_EQ(Displays::shared().underPointer().frame, QRect(0, 0, 1920, 1080));
    const ScopedEnv two("PIERLINE_DISPLAYS", QByteArray("X|One|800x600+0+0;bad;Y|Two|1024x768+800+0"));
    const QList<Display> listed = Displays::shared().displays();
    ASSERT_EQ(listed.size(), 2);
    EXPECT_TRUE(listed[0].isPrimary);
    EXPECT_EQ(listed[1].availableFrame, QRect(800, 0, 1024, 768));
}
