#include "WriterFixtures.h"

#include "dock/DockutilWriter.h"

#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test::writers;

namespace {

const QString kTool = QStringLiteral("/opt/homebrew/bin/dockutil");
const QString P = QStringLiteral("\"/opt/homebrew/bin/dockutil\"");

} // namespace

// The commands between the remove and the restart (each with " --no-restart"), and messages that
// must appear exactly as often as listed.
TEST(DockutilPlan, CommandTextsForEveryKindOfEntry) {
    DockFolderStackValues untyped = folder("/Users/a/Untyped");
    untyped.itemType.reset();
    DockFolderStackValues urlOnly = folder("ignored");
    urlOnly.path.reset();
    urlOnly.url = "file:///Users/a/From%20Url/";
    DockFolderStackValues widget = folder("/x");
    widget.itemType = "widget";
    struct Case {
        const char* name;
        QStringList apps;
        QList<DockFolderStackValues> items;
        QStringList runs;
        QStringList prints;
    };
    const Case cases[] = {
        {"apps and spacers go after the last app added, each message after its command",
         {"file:///Applications/Safari.app/", "pierline-spacer-1", "file:///Applications/Mail.app/",
          "pierline-small-spacer-1"},
         {},
         {"--add '/Applications/Safari.app'",
          "--add '' --type spacer-tile --section apps --after '/Applications/Safari.app'",
          "--add '/Applications/Mail.app'",
          "--add '' --type small-spacer-tile --section apps --after '/Applications/Mail.app'"},
         {"Added app: /Applications/Safari.app"}},
        {"leading spacers have no anchor",
         {"pierline-spacer-1", "pierline-small-spacer-1"},
         {},
         {"--add '' --type spacer-tile --section apps", "--add '' --type small-spacer-tile --section apps"},
         {"Added spacer after start of dock", "Added small-spacer after start of dock"}},
        {"single quotes are escaped in paths, anchors and labels",
         {"file:///Applications/Bob's%20App.app/", "pierline-spacer-1"},
         {webLink("https://example.com/it's", "Bob's Page")},
         {"--add '/Applications/Bob'\\''s App.app'",
          "--add '' --type spacer-tile --section apps --after '/Applications/Bob'\\''s App.app'",
          "--add 'https://example.com/it'\\''s' --label 'Bob'\\''s Page'"},
         {}},
        {"app paths are percent-decoded, plain paths and malformed escapes kept literally",
         {"file:///Applications/Caf%C3%A9%20Cr%C3%A8me.app/", "/Applications/100%25 Pure.app",
          "file:///Applications/Bad%ZZ.app/"},
         {},
         {"--add '/Applications/Café Crème.app'", "--add '/Applications/100%25 Pure.app'",
          "--add '/Applications/Bad%ZZ.app'"},
         {}},
        {"an unparsable app is skipped and the anchor stays on the previous app",
         {"file:///Applications/Safari.app/", "file://[broken/App.app", "pierline-spacer-1"},
         {},
         {"--add '/Applications/Safari.app'",
          "--add '' --type spacer-tile --section apps --after '/Applications/Safari.app'"},
         {"WARNING: Could not parse app URL: file://[broken/App.app"}},
        {"folders sharing a name are labelled with their parent; files do not count",
         {},
         {folder("file:///Users/a/Work/Docs/"), folder("/Users/a/Home/Docs"), folder("file:///Users/a/Single/"),
          folder("/Users/a/Other/Single Two"), fileItem("/Users/a/Home/Single Two")},
         {"--add '/Users/a/Work/Docs' --view grid --display folder --sort name --label 'Docs (Work)'",
          "--add '/Users/a/Home/Docs' --view grid --display folder --sort name --label 'Docs (Home)'",
          "--add '/Users/a/Single' --view grid --display folder --sort name",
          "--add '/Users/a/Other/Single Two' --view grid --display folder --sort name",
          "--add '/Users/a/Home/Single Two' --type file"},
         {"Added folder with settings: /Users/a/Work/Docs (label: Docs (Work), view: grid, display: folder, sort: "
          "name)",
          "Added folder with settings: /Users/a/Single (view: grid, display: folder, sort: name)"}},
        {"style values go in as stored unless they carry shell syntax; none stored means the writer's own",
         {},
         {folder("/Users/a/A", "fan", "stack", "date added"), folder("/Users/b/B", "grid", "folder", "name; touch /x"),
          folder("/Users/c/C", "$(reboot)", "folder", "kind"), folder("/Users/a/Stuff", "", "", "")},
         {"--add '/Users/a/A' --view fan --display stack --sort date added",
          "--add '/Users/b/B' --view grid --display folder --sort 'name; touch /x'",
          "--add '/Users/c/C' --view '$(reboot)' --display folder --sort kind",
          "--add '/Users/a/Stuff' --view auto --display stack --sort name"},
         {}},
        {"files, links and unknown items",
         {},
         {fileItem("file:///Users/a/Notes%20%26%20Ideas.txt"), fileItem("file://[bad/x"),
          webLink("https://a.example", {}), webLink({}, "No address"), webLink("https://b.example/", "B"), untyped,
          urlOnly, widget, folder("file://[bad/y")},
         {"--add '/Users/a/Notes & Ideas.txt' --type file", "--add 'https://b.example/' --label 'B'",
          "--add '/Users/a/Untyped' --view grid --display folder --sort name",
          "--add '/Users/a/From Url' --view grid --display folder --sort name"},
         {"Added file: /Users/a/Notes & Ideas.txt", "Skipping file with invalid path: file://[bad/x",
          "Skipping URL with missing URL or label", "Skipping URL with missing URL or label",
          "Added URL: https://b.example/ with label: B", "Unknown item type: widget, skipping",
          "Skipping folder stack with invalid path: file://[bad/y"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QList<WriterStep> steps = DockutilWriter::plan(kTool, "Work", c.apps, c.items);
        for (qsizetype i = 1; i < steps.size(); ++i) {
            if (steps[i].kind == WriterStep::Kind::Print && steps[i].text.startsWith("Added app: ")) {
                EXPECT_EQ(steps[i - 1].text, P + " --add '" + steps[i].text.mid(11) + "' --no-restart");
            }
        }
        QStringList runs = runTexts(steps);
        ASSERT_GE(runs.size(), 2);
        EXPECT_EQ(runs.takeFirst(), P + " --remove all --no-restart");
        EXPECT_EQ(runs.takeLast(), "killall Dock");
        QStringList expected;
        for (const QString& r : c.runs)
            expected.append(P + " " + r + " --no-restart");
        EXPECT_EQ(runs, expected);
        const QStringList prints = printTexts(steps);
        for (const QString& p : c.prints)
            EXPECT_EQ(prints.count(p), c.prints.count(p)) << p.toStdString();
    }
}
