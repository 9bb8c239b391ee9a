#include "WriterFixtures.h"

#include "dock/DockutilWriter.h"

#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test::writers;

namespace {

const QString kTool = QStringLiteral("/opt/homebrew/bin/dockutil");
const QString P = QStringLiteral("\"/opt/homebrew/bin/dockutil\"");

QStringList appCommands(const QStringList& apps) {
    // Without the remove and the restart that frame every plan.
    QStringList runs = runTexts(DockutilWriter::plan(kTool, QStringLiteral("Work"), apps, {}));
    runs.removeFirst();
    runs.removeLast();
    return runs;
}

QStringList itemCommands(const QList<DockFolderStackValues>& items) {
    QStringList runs = runTexts(DockutilWriter::plan(kTool, QStringLiteral("Work"), {}, items));
    runs.removeFirst();
    runs.removeLast();
    return runs;
}

} // namespace

TEST(DockutilPlan, AppsAndSpacersGoAfterTheLastAppAdded) {
    const QStringList apps = {"file:///Applications/Safari.app/", "pierline-spacer-1", "file:///Applications/Mail.app/",
                              "pierline-small-spacer-1"};
    const QList<WriterStep> steps = DockutilWriter::plan(kTool, QStringLiteral("Work"), apps, {});

    EXPECT_EQ(
        runTexts(steps),
        (QStringList{P + " --remove all --no-restart", P + " --add '/Applications/Safari.app' --no-restart",
                     P + " --add '' --type spacer-tile --section apps --after '/Applications/Safari.app' --no-restart",
                     P + " --add '/Applications/Mail.app' --no-restart",
                     P + " --add '' --type small-spacer-tile --section apps --after '/Applications/Mail.app' "
                         "--no-restart",
                     "killall Dock"}));
    EXPECT_EQ(printTexts(steps),
              (QStringList{"Applying preset using dockutil: Work",
                           "Clearing existing persistent apps and folders via dockutil...",
                           "Adding apps and spacers via dockutil...", "Added app: /Applications/Safari.app",
                           "Added spacer after /Applications/Safari.app", "Added app: /Applications/Mail.app",
                           "Added small-spacer after /Applications/Mail.app", "Adding dock items via dockutil...",
                           "Restarting Dock via killall..."}));
    // Each message follows its command.
    EXPECT_EQ(steps.at(4), (WriterStep{WriterStep::Kind::Run, P + " --add '/Applications/Safari.app' --no-restart"}));
    EXPECT_EQ(steps.at(5), (WriterStep{WriterStep::Kind::Print, "Added app: /Applications/Safari.app"}));
}

TEST(DockutilPlan, LeadingSpacersHaveNoAnchor) {
    const QList<WriterStep> steps =
        DockutilWriter::plan(kTool, "Work", {"pierline-spacer-1", "pierline-small-spacer-1"}, {});
    EXPECT_EQ(runTexts(steps).mid(1, 2),
              (QStringList{P + " --add '' --type spacer-tile --section apps --no-restart",
                           P + " --add '' --type small-spacer-tile --section apps --no-restart"}));
    EXPECT_TRUE(printTexts(steps).contains("Added spacer after start of dock"));
    EXPECT_TRUE(printTexts(steps).contains("Added small-spacer after start of dock"));
}

TEST(DockutilPlan, SingleQuotesAreEscapedInPathsAnchorsAndLabels) {
    const QStringList runs = appCommands({"file:///Applications/Bob's%20App.app/", "pierline-spacer-1"});
    EXPECT_EQ(runs.at(0), P + " --add '/Applications/Bob'\\''s App.app' --no-restart");
    EXPECT_EQ(runs.at(1),
              P + " --add '' --type spacer-tile --section apps --after '/Applications/Bob'\\''s App.app' --no-restart");

    const QStringList items = itemCommands({webLink("https://example.com/it's", "Bob's Page")});
    EXPECT_EQ(items.at(0), P + " --add 'https://example.com/it'\\''s' --label 'Bob'\\''s Page' --no-restart");
}

TEST(DockutilPlan, AppPathsArePercentDecodedAndPlainPathsKeptLiterally) {
    const QStringList runs = appCommands({"file:///Applications/Caf%C3%A9%20Cr%C3%A8me.app/",
                                          "/Applications/100%25 Pure.app", "file:///Applications/Bad%ZZ.app/"});
    EXPECT_EQ(runs.at(0), P + " --add '/Applications/Café Crème.app' --no-restart");
    EXPECT_EQ(runs.at(1), P + " --add '/Applications/100%25 Pure.app' --no-restart");
    // A malformed escape is taken literally.
    EXPECT_EQ(runs.at(2), P + " --add '/Applications/Bad%ZZ.app' --no-restart");
}

TEST(DockutilPlan, UnparsableAppIsSkippedAndTheAnchorStaysOnThePreviousApp) {
    const QList<WriterStep> steps = DockutilWriter::plan(
        kTool, "Work", {"file:///Applications/Safari.app/", "file://[broken/App.app", "pierline-spacer-1"}, {});
    EXPECT_TRUE(printTexts(steps).contains("WARNING: Could not parse app URL: file://[broken/App.app"));
    EXPECT_EQ(runTexts(steps).at(2),
              P + " --add '' --type spacer-tile --section apps --after '/Applications/Safari.app' --no-restart");
    EXPECT_EQ(runTexts(steps).size(), 4);
}

TEST(DockutilPlan, FoldersSharingANameAreLabelledWithTheirParent) {
    const QList<WriterStep> steps = DockutilWriter::plan(
        kTool, "Work", {},
        {folder("file:///Users/a/Work/Docs/"), folder("/Users/a/Home/Docs"), folder("file:///Users/a/Single/")});
    const QStringList runs = runTexts(steps);
    EXPECT_EQ(runs.at(1), P + " --add '/Users/a/Work/Docs' --view grid --display folder --sort name --label 'Docs "
                              "(Work)' --no-restart");
    EXPECT_EQ(runs.at(2), P + " --add '/Users/a/Home/Docs' --view grid --display folder --sort name --label 'Docs "
                              "(Home)' --no-restart");
    EXPECT_EQ(runs.at(3), P + " --add '/Users/a/Single' --view grid --display folder --sort name --no-restart");
    const QStringList prints = printTexts(steps);
    EXPECT_TRUE(prints.contains("Added folder with settings: /Users/a/Work/Docs (label: Docs (Work), view: grid, "
                                "display: folder, sort: name)"));
    EXPECT_TRUE(
        prints.contains("Added folder with settings: /Users/a/Single (view: grid, display: folder, sort: name)"));
}

TEST(DockutilPlan, FolderNamesAreCountedOnFoldersOnly) {
    // A file of the same name does not make the folder ambiguous.
    const QStringList runs = itemCommands({folder("/Users/a/Work/Docs"), fileItem("/Users/a/Home/Docs")});
    EXPECT_FALSE(runs.at(0).contains("--label"));
}

TEST(DockutilPlan, FolderWithoutStoredStyleUsesTheWritersOwnDefaults) {
    const QStringList runs = itemCommands({folder("/Users/a/Stuff", "", "", "")});
    EXPECT_EQ(runs.at(0), P + " --add '/Users/a/Stuff' --view auto --display stack --sort name --no-restart");
}

TEST(DockutilPlan, StyleValuesAreInsertedAsStoredUnlessTheyCarryShellSyntax) {
    const QStringList runs = itemCommands({folder("/Users/a/A", "fan", "stack", "date added"),
                                           folder("/Users/b/B", "grid", "folder", "name; touch /tmp/owned"),
                                           folder("/Users/c/C", "$(reboot)", "folder", "kind")});
    EXPECT_EQ(runs.at(0), P + " --add '/Users/a/A' --view fan --display stack --sort date added --no-restart");
    EXPECT_EQ(runs.at(1), P + " --add '/Users/b/B' --view grid --display folder --sort 'name; touch /tmp/owned' "
                              "--no-restart");
    EXPECT_EQ(runs.at(2), P + " --add '/Users/c/C' --view '$(reboot)' --display folder --sort kind --no-restart");
}

TEST(DockutilPlan, FilesLinksAndUnknownItems) {
    DockFolderStackValues untyped = folder("/Users/a/Untyped");
    untyped.itemType.reset();
    DockFolderStackValues urlOnly = folder("ignored");
    urlOnly.path.reset();
    urlOnly.url = "file:///Users/a/From%20Url/";
    DockFolderStackValues widget = folder("/x");
    widget.itemType = "widget";

    const QList<WriterStep> steps =
        DockutilWriter::plan(kTool, "Work", {},
                             {fileItem("file:///Users/a/Notes%20%26%20Ideas.txt"), fileItem("file://[bad/x"),
                              webLink("https://a.example", {}), webLink({}, "No address"),
                              webLink("https://b.example/", "B"), untyped, urlOnly, widget, folder("file://[bad/y")});
    const QStringList runs = runTexts(steps);
    const QStringList prints = printTexts(steps);
    EXPECT_EQ(runs.at(1), P + " --add '/Users/a/Notes & Ideas.txt' --type file --no-restart");
    EXPECT_TRUE(prints.contains("Added file: /Users/a/Notes & Ideas.txt"));
    EXPECT_TRUE(prints.contains("Skipping file with invalid path: file://[bad/x"));
    EXPECT_EQ(prints.count("Skipping URL with missing URL or label"), 2);
    EXPECT_EQ(runs.at(2), P + " --add 'https://b.example/' --label 'B' --no-restart");
    EXPECT_TRUE(prints.contains("Added URL: https://b.example/ with label: B"));
    EXPECT_EQ(runs.at(3), P + " --add '/Users/a/Untyped' --view grid --display folder --sort name --no-restart");
    EXPECT_EQ(runs.at(4), P + " --add '/Users/a/From Url' --view grid --display folder --sort name --no-restart");
    EXPECT_TRUE(prints.contains("Unknown item type: widget, skipping"));
    EXPECT_TRUE(prints.contains("Skipping folder stack with invalid path: file://[bad/y"));
    EXPECT_EQ(runs.size(), 6); // remove, file, link, two folders, restart
}
