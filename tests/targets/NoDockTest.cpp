// A desktop with no dock Pierline can drive (KDE, Cinnamon) and a home without an emulated Dock:
// reading and switching say why and change nothing, in the default home and in one of its own.
#include "support/PierlineCli.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace pierline {
namespace {

using test::CliRun;

class NoDock : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        env_["XDG_CURRENT_DESKTOP"] = "KDE";
        env_["DBUS_SESSION_BUS_ADDRESS"] = "";
        env_["XDG_DATA_HOME"] = root_.filePath("data");
        const bool explicitHome = GetParam();
        home_ = explicitHome ? root_.filePath("home") : root_.filePath("data/pierline/home");
        env_["PIERLINE_HOME"] = explicitHome ? home_ : QString();
        QDir().mkpath(home_);
    }
    CliRun pierline(const QStringList& args) const { return test::runPierline(args, env_); }
    bool hasDock() const { return QFileInfo::exists(home_ + "/Library/Preferences/com.apple.dock.plist"); }

    QTemporaryDir root_;
    QString home_;
    QMap<QString, QString> env_;
};

TEST_P(NoDock, ReadingAndSwitchingSayWhyAndMakeNoEmulatedDock) {
    const bool explicitHome = GetParam();
    CliRun run = pierline({"preset", "create", "Work", "--from-dock"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_EQ(run.out, "");
    ASSERT_EQ(pierline({"preset", "create", "Empty"}).exitCode, 0);
    run = pierline({"apply", "Empty"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Cannot apply 'Empty'")) << run.err.toStdString();
    EXPECT_EQ(pierline({"dock"}).exitCode, 1);
    EXPECT_FALSE(hasDock()) << "a switch made an emulated Dock";
    // Advice to run `sandbox init` is for a home of its own, never the user's default one.
    EXPECT_EQ(run.err.contains("sandbox init"), explicitHome) << run.err.toStdString();

    const CliRun check = pierline({"target", "check"});
    EXPECT_NE(check.exitCode, 0);
    ASSERT_EQ(pierline({"sandbox", "init", "--force"}).exitCode, 0);
    EXPECT_TRUE(hasDock());
    EXPECT_EQ(pierline({"dock"}).exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Homes, NoDock, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "OwnHome" : "DefaultHome"; });

} // namespace
} // namespace pierline
