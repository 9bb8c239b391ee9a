// `pierline spacer` run as the real binary, with no display.
#include "SpacerTestSupport.h"

#include "platform/Icns.h"
#include "platform/SystemPaths.h"
#include "platform/Workspace.h"
#include "support/PierlineCli.h"
#include "support/TempHome.h"

#include <QImage>
#include <QJsonArray>

namespace pierline::test {
namespace {

QJsonObject renderLayout(const TempHome& home, const QStringList& design, const QString& out) {
    const CliRun run =
        runPierline(QStringList{"spacer", "render"} + design + QStringList{"--out", out, "--json"}, noDisplay(home));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    return QJsonDocument::fromJson(run.out.toUtf8()).object();
}

QRectF line(const QJsonObject& layout, int k) {
    const QJsonObject o = layout.value("lines").toArray().at(k).toObject();
    return {o.value("x").toDouble(), o.value("y").toDouble(), o.value("width").toDouble(),
            o.value("height").toDouble()};
}

TEST(SpacerRender, DrawsTextWithoutADisplayAtTheChosenSize) {
    TempHome home;
    const QString out = home.file("w.png");
    const CliRun run = runPierline({"spacer", "render", "--text", "WORK", "--out", out}, noDisplay(home));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QImage image(out);
    ASSERT_EQ(image.size(), QSize(1024, 1024));
    int white = 0;
    for (int y = 0; y < 1024; y += 2)
        for (int x = 0; x < 1024; x += 2)
            white += image.pixelColor(x, y) == QColor(Qt::white);
    EXPECT_GT(white, 2000) << "the label was drawn";

    ASSERT_EQ(runPierline({"spacer", "render", "--text", "A", "--size", "64", "--out", out}, noDisplay(home)).exitCode,
              0);
    EXPECT_EQ(QImage(out).size(), QSize(64, 64));
}

// Qt warns about a missing runtime folder (and more) while it starts drawing; that is its own
// business, kept in the log, not the user's terminal.
TEST(SpacerRender, QtsOwnWarningsStayOffTheTerminal) {
    TempHome home;
    QMap<QString, QString> env = noDisplay(home);
    env.insert("XDG_RUNTIME_DIR", "");
    env.insert("PIERLINE_VERBOSE", "");
    const CliRun run =
        runPierline({"spacer", "render", "--text", "A", "--size", "64", "--out", home.file("q.png")}, env);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.toStdString(), "");
}

TEST(SpacerRender, LayoutNumbers) {
    TempHome home;
    const QString out = home.file("l.png");
    const double inset = 102.4, content = 819.2, margin = 81.92;

    // Two lines, the second empty (drawn as a space), centred: the block sits in the middle.
    QJsonObject layout = renderLayout(home, {"--text", "AB\n", "--orientation", "horizontal"}, out);
    EXPECT_EQ(layout.value("tahoe"), false);
    ASSERT_EQ(layout.value("lines").toArray().size(), 2);
    const QRectF first = line(layout, 0), second = line(layout, 1);
    const double h = first.height(), gap = 0.15 * h;
    EXPECT_GT(second.width(), 0);
    EXPECT_LT(second.width(), first.width());
    EXPECT_NEAR(first.y() - second.y(), h + gap, 1e-6);
    const double block = 2 * h + gap;
    EXPECT_NEAR(first.y() + h, inset + (content - block) / 2 + block, 1e-6);
    EXPECT_NEAR(first.x() + first.width() / 2, 512, 1e-6);

    // Leading, horizontal: the top m below the content's top; mirrored, the bottom m above its bottom.
    layout = renderLayout(home, {"--text", "A", "--orientation", "horizontal", "--alignment", "leading"}, out);
    EXPECT_NEAR(line(layout, 0).y() + line(layout, 0).height(), inset + content - margin, 1e-6);
    layout =
        renderLayout(home, {"--text", "A", "--orientation", "horizontal", "--alignment", "leading", "--mirrored"}, out);
    EXPECT_NEAR(line(layout, 0).y(), inset + margin, 1e-6);
    // Vertical text puts leading at the bottom; trailing at the top.
    layout = renderLayout(home, {"--text", "A", "--alignment", "leading", "--padding", "none"}, out);
    EXPECT_NEAR(line(layout, 0).y(), 0.1 * 1024, 1e-6);
    layout = renderLayout(home, {"--text", "A", "--alignment", "trailing", "--padding", "none"}, out);
    EXPECT_NEAR(line(layout, 0).y() + line(layout, 0).height(), 1024 - 0.1 * 1024, 1e-6);
    EXPECT_EQ(layout.value("fontSize"), 300);
    layout = renderLayout(home, {"--text", "A", "--text-size", "large"}, out);
    EXPECT_EQ(layout.value("fontSize"), 250);

    // On 26 and later the geometry is Tahoe's.
    home.write("System/Library/CoreServices/SystemVersion.plist",
               "<plist version=\"1.0\"><dict><key>ProductVersion</key><string>26.0.1</string></dict></plist>");
    EXPECT_EQ(renderLayout(home, {"--text", "A"}, out).value("tahoe"), true);
}

TEST(SpacerRender, BadDesignsAndOptionsExit2AndWriteNothing) {
    TempHome home;
    const QString out = home.file("x.png");
    const QString good = R"({"text": "A", "backgroundColor": {"red": 0, "green": 0, "blue": 1, "alpha": 1},
        "textColor": {"red": 1, "green": 1, "blue": 1, "alpha": 1}, "isBackgroundTransparent": false,
        "orientation": "vertical", "alignment": "center", "isMirrored": false})";
    const std::pair<QString, QString> designs[] = {
        {"not json {", "JSON"},
        {QString(good).replace(R"("text": "A", )", ""), "text"},
        {QString(good).replace(R"("isMirrored": false)", R"("isMirrored": 0)"), "isMirrored"},
        {QString(good).replace(R"("vertical")", R"("sideways")"), "orientation"},
        {QString(good).replace(R"("center")", R"("middle")"), "alignment"},
        {QString(good).replace(R"("blue": 1, "alpha")", R"("blue": 2, "alpha")"), "backgroundColor.blue"},
    };
    for (const auto& [text, key] : designs) {
        const QString file = home.write("design.json", text.toUtf8());
        const CliRun run = runPierline({"spacer", "render", "--design", file, "--out", out}, noDisplay(home));
        EXPECT_EQ(run.exitCode, 2) << key.toStdString();
        EXPECT_TRUE(run.err.contains(key)) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
    const QString file = home.write("design.json", good.toUtf8());
    const QStringList bad[] = {
        {"--size", "8"},          {"--size", "2000"},
        {"--size", "x"},          {"--orientation", "up"},
        {"--background", "blue"}, {"--text-color", "12345"},
        {"--padding", "huge"},    {"--no-such-option"},
        {"--text-border", "fat"}, {"--design", file, "--text", "B"},
    };
    for (const QStringList& options : bad) {
        const CliRun run = runPierline(QStringList{"spacer", "render", "--out", out} + options, noDisplay(home));
        EXPECT_EQ(run.exitCode, 2) << options.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
    ASSERT_EQ(runPierline({"spacer", "render", "--design", file, "--out", out}, noDisplay(home)).exitCode, 0);
    const CliRun missing = runPierline({"spacer", "render", "--out", home.file("no/such/x.png")}, noDisplay(home));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("no/such/x.png")) << missing.err.toStdString();
}

TEST(SpacerCheckName, RefusalsInTheEditorsOrder) {
    TempHome home;
    ASSERT_TRUE(QDir().mkpath(SystemPaths::customSpacesFolder() + "/Work Left.app"));
    ASSERT_TRUE(QDir().mkpath(SystemPaths::customSpacesFolder() + "/Other.app"));
    const std::tuple<QStringList, int, QString> cases[] = {
        {{"  "}, 1, "Name cannot be empty."},
        {{"Work/Left"}, 1, "Name contains invalid characters."},
        {{"Work Left"}, 1, "A custom spacer with this name already exists."},
        {{" Work Left\t", "--editing", "Other"}, 1, "A custom spacer with this name already exists."},
        {{"Work Left", "--editing", "Work Left"}, 0, ""},
        {{"Work Left", "--editing", SystemPaths::customSpacesFolder() + "/Work Left.app/"}, 0, ""},
        {{"Bob's & $(x)"}, 0, ""},
        {{"Work\nLeft"}, 2, "control character"},
        {{"Work", "--editing", "/tmp/Work.app"}, 1, "Invalid custom space path."},
    };
    for (const auto& [args, exit, message] : cases) {
        const CliRun run = runPierline(QStringList{"spacer", "check-name"} + args);
        EXPECT_EQ(run.exitCode, exit) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
    }
    EXPECT_EQ(runPierline({"spacer", "check-name", "Bob's & $(x)"}).out.trimmed(), "Bob's & $(x)");
}

TEST(SpacerCommands, CreateListShowUpdateDeleteInTheCaller) {
    TempHome home;
    ScopedEnv compiler("PIERLINE_CXX", writeStandInCompiler(home).toUtf8());
    const QString folder = SystemPaths::customSpacesFolder();

    EXPECT_EQ(runPierline({"spacer", "list"}).out, "No custom spacers\n");
    const QJsonDocument none = QJsonDocument::fromJson(runPierline({"spacer", "list", "--json"}).out.toUtf8());
    EXPECT_TRUE(none.isArray() && none.array().isEmpty());
    CliRun run = runPierline({"spacer", "create", "Work Left", "--text", "WORK"}, noDisplay(home));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString bundle = folder + "/Work Left.app";
    EXPECT_EQ(run.out.trimmed(), bundle);
    EXPECT_EQ(run.err.toStdString(), ""); // no Tahoe notes before 26
    EXPECT_EQ(icns::pngSize(Workspace::shared().iconData(bundle)), QSize(1024, 1024));

    run = runPierline({"spacer", "list", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonArray list = QJsonDocument::fromJson(run.out.toUtf8()).array();
    ASSERT_EQ(list.size(), 1);
    const QString url = list[0].toObject().value("appURL").toString();
    EXPECT_EQ(list[0].toObject().value("name"), "Work Left");
    EXPECT_EQ(url, QUrl::fromLocalFile(bundle + "/").toString(QUrl::FullyEncoded));
    EXPECT_EQ(runPierline({"spacer", "list"}).out, "Work Left  " + bundle + "\n");

    run = runPierline({"spacer", "show", url, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonObject shown = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(shown.value("appURL"), url);
    EXPECT_EQ(shown.value("iconMode"), "create");
    EXPECT_EQ(shown.value("generatedIconConfig").toObject().value("text"), "WORK");
    EXPECT_EQ(shown.value("generatedIconConfig").toObject().value("tahoeAware"), false);

    // Update takes the stored design for what is not given.
    run = runPierline({"spacer", "update", "Work Left", "--name", "Work", "--orientation", "horizontal"},
                      noDisplay(home));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.trimmed(), folder + "/Work.app");
    EXPECT_FALSE(QFileInfo::exists(bundle));
    shown = QJsonDocument::fromJson(runPierline({"spacer", "show", "Work", "--json"}).out.toUtf8()).object();
    EXPECT_EQ(shown.value("generatedIconConfig").toObject().value("text"), "WORK");
    EXPECT_EQ(shown.value("generatedIconConfig").toObject().value("orientation"), "horizontal");

    // Uploads: an image that does not decode builds nothing; a good one is kept.
    const QString junk = home.write("junk.png", "not an image");
    EXPECT_EQ(runPierline({"spacer", "create", "Up", "--upload", junk}, noDisplay(home)).exitCode, 2);
    EXPECT_FALSE(QFileInfo::exists(folder + "/Up.app"));
    const QString image = home.write("red.png", icns::solidColourPng(300, 0xff0000ffu));
    ASSERT_EQ(runPierline({"spacer", "create", "Up", "--upload", image}, noDisplay(home)).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(folder + "/Up.app/Contents/Resources/PierlineCustomSpaceSourceIcon.png"));

    // Metadata that cannot be read: show names the file, update wants a full design.
    const QString metadata = folder + "/Work.app/Contents/Resources/PierlineCustomSpaceMetadata.json";
    QFile::remove(metadata);
    run = runPierline({"spacer", "show", "Work"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(metadata)) << run.err.toStdString();
    EXPECT_EQ(runPierline({"spacer", "update", "Work", "--text", "X"}, noDisplay(home)).exitCode, 1);
    EXPECT_EQ(runPierline({"spacer", "update", "Work", "--upload", image}, noDisplay(home)).exitCode, 0);

    // Bad names and options build nothing.
    EXPECT_EQ(runPierline({"spacer", "create", "Tab\tInside"}, noDisplay(home)).exitCode, 2);
    EXPECT_EQ(runPierline({"spacer", "create", "X", "--text", "A", "--upload", image}, noDisplay(home)).exitCode, 2);
    EXPECT_EQ(runPierline({"spacer", "create", "X", "--size", "3"}, noDisplay(home)).exitCode, 2);
    run = runPierline({"spacer", "create", "Up"}, noDisplay(home));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.trimmed(), "A custom space named 'Up' already exists.");

    run = runPierline({"spacer", "delete", home.file("red.png")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith("Invalid custom space path.")) << run.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(image));
    EXPECT_EQ(runPierline({"spacer", "delete", QUrl::fromLocalFile(folder + "/Up.app/").toString()}).exitCode, 0);
    EXPECT_EQ(runPierline({"spacer", "delete", "Work"}).exitCode, 0);
    EXPECT_EQ(entriesBelow(folder), QStringList());
    EXPECT_EQ(entriesBelow(home.file("tmp")), QStringList());
}

TEST(SpacerCommands, ASpacerInAPresetIsAnOrdinaryAppOnTheSandboxDock) {
    TempHome home;
    ASSERT_EQ(runPierline({"sandbox", "init", "--force"}).exitCode, 0);
    ScopedEnv compiler("PIERLINE_CXX", writeStandInCompiler(home).toUtf8());
    CliRun run = runPierline({"spacer", "create", "Work Left", "--text", "WORK"}, noDisplay(home));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString spacer = QUrl::fromLocalFile(run.out.trimmed() + "/").toString(QUrl::FullyEncoded);
    const QString safari =
        QUrl::fromLocalFile(SystemPaths::applicationsFolder() + "/Safari.app/").toString(QUrl::FullyEncoded);
    const QString apps = QJsonDocument(QJsonArray{safari, spacer}).toJson(QJsonDocument::Compact);
    home.write("backup.json", QJsonDocument(QJsonArray{QJsonObject{{"name", "Work"},
                                                                   {"createdAt", "2025-03-01T09:15:00Z"},
                                                                   {"apps", apps},
                                                                   {"folderStacks", QJsonArray()}}})
                                  .toJson());
    run = runPierline({"import", home.file("backup.json")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    run = runPierline({"apply", "Work"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    const QJsonArray dock = QJsonDocument::fromJson(runPierline({"dock", "--json"}).out.toUtf8())["apps"].toArray();
    ASSERT_EQ(dock.size(), 2);
    EXPECT_EQ(dock[1].toString(), spacer);
    // Saving the Dock keeps it as the spacer it is.
    ASSERT_EQ(runPierline({"preset", "create", "Saved", "--from-dock"}).exitCode, 0);
    EXPECT_TRUE(runPierline({"preset", "show", "Saved", "--json"}).out.contains("CustomSpaces/Work%20Left.app"));
}

TEST(SpacerCommands, TahoeNotesOnTheStandardErrorOf26AndLater) {
    TempHome home;
    ScopedEnv compiler("PIERLINE_CXX", writeStandInCompiler(home).toUtf8());
    ASSERT_EQ(runPierline({"spacer", "create", "Old", "--text", "A"}, noDisplay(home)).exitCode, 0);
    home.write("System/Library/CoreServices/SystemVersion.plist",
               "<plist version=\"1.0\"><dict><key>ProductVersion</key><string>26.1</string></dict></plist>");
    CliRun run = runPierline({"spacer", "create", "Clear", "--transparent"}, noDisplay(home));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.trimmed(), "On macOS Tahoe, transparent icons get a gray background from the system. The spacer "
                                 "will not be invisible.");
    run = runPierline({"spacer", "update", "Old"}, noDisplay(home));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.trimmed(),
              "This spacer was created before macOS Tahoe. Saving will regenerate with squircle-optimized geometry.");
    const QJsonObject shown =
        QJsonDocument::fromJson(runPierline({"spacer", "show", "Old", "--json"}).out.toUtf8()).object();
    EXPECT_EQ(shown.value("generatedIconConfig").toObject().value("tahoeAware"), true);
    EXPECT_EQ(runPierline({"spacer", "update", "Old"}, noDisplay(home)).err, ""); // saved on Tahoe now
}

} // namespace
} // namespace pierline::test
