#include "core/CustomSpaceLocation.h"
#include "platform/SystemPaths.h"
#include "support/TempHome.h"

#include <QUrl>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

TEST(CustomSpaceLocation, OnlyBundlesDirectlyInThisHomesSpacerFolderCount) {
    TempHome home;
    const QString folder = SystemPaths::customSpacesFolder();
    ASSERT_TRUE(QDir().mkpath(folder + "/Work Left.app/Contents"));
    const QString work = folder + "/Work Left.app";

    EXPECT_EQ(customSpaceBundlePath(work), work);
    EXPECT_EQ(customSpaceBundlePath(work + "/"), work);
    EXPECT_EQ(customSpaceBundlePath(folder + "/Not Yet.app"), folder + "/Not Yet.app"); // a target to build
    const QString refused[] = {
        folder,
        folder + "/Work Left.app/Contents",
        folder + "/../CustomSpaces.app",
        folder + "/.tmp-1234.app",
        folder + "/.app",
        folder + "/Work Left",
        "Work Left.app",
        // Another home's folder holds the same words in its path.
        "/elsewhere/Library/Application Support/Pierline/CustomSpaces/Work Left.app",
        "",
    };
    for (const QString& path : refused)
        EXPECT_FALSE(customSpaceBundlePath(path)) << path.toStdString();

    // A link in the folder is never one, whatever it points at; nor a file.
    ASSERT_TRUE(QFile::link(work, folder + "/Link.app"));
    EXPECT_FALSE(customSpaceBundlePath(folder + "/Link.app"));
    home.write("Library/Application Support/Pierline/CustomSpaces/File.app", "x");
    EXPECT_FALSE(customSpaceBundlePath(folder + "/File.app"));
}

TEST(CustomSpaceLocation, DockUrlsAndTypedPathsResolveToTheBundle) {
    TempHome home;
    const QString work = SystemPaths::customSpacesFolder() + "/Work Left.app";
    ASSERT_TRUE(QDir().mkpath(work));
    const QString url = QUrl::fromLocalFile(work + "/").toString(QUrl::FullyEncoded);
    ASSERT_TRUE(url.contains("%20"));
    EXPECT_EQ(customSpaceBundleForLocation(url), work);
    EXPECT_EQ(customSpaceBundleForLocation("~/Library/Application Support/Pierline/CustomSpaces/Work Left.app"), work);
    EXPECT_TRUE(isCustomSpaceEntry(url));
    EXPECT_FALSE(isCustomSpaceEntry("pierline-spacer-1"));
    EXPECT_FALSE(isCustomSpaceEntry("file:///Applications/Safari.app/"));
    EXPECT_FALSE(customSpaceBundleForLocation("https://example.com/Pierline/CustomSpaces/Work.app"));
    EXPECT_FALSE(customSpaceBundleForLocation(QString(url).replace("%20", "%zz")));
}

} // namespace
} // namespace pierline::test
