#include "support/PierlineCli.h"
#include "support/ScopedEnv.h"

#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace pierline;
using namespace pierline::test;

namespace {

QString describe(const QStringList& args, const CliRun& run) {
    return QStringLiteral("pierline %1 -> %2\nstdout: %3\nstderr: %4")
        .arg(args.join(QLatin1Char(' ')))
        .arg(run.exitCode)
        .arg(run.out, run.err);
}

// A sample home made once by `sandbox init`; its first store open makes the preset "Default".
class CommandLine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        const CliRun made = runPierline({"sandbox", "init"}, {{"PIERLINE_HOME", home()}});
        ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static QString home() { return dir_->filePath(QStringLiteral("home")); }

    static CliRun run(const QStringList& args, QMap<QString, QString> env = {}) {
        if (!env.contains(QStringLiteral("PIERLINE_HOME")))
            env.insert(QStringLiteral("PIERLINE_HOME"), home());
        env.insert(QStringLiteral("PIERLINE_VERBOSE"), QString());
        return runPierline(args, env);
    }

    static QTemporaryDir* dir_;
};

QTemporaryDir* CommandLine::dir_ = nullptr;

} // namespace

TEST_F(CommandLine, WrongArgumentsSayWhatIsWrongAndChangeNothing) {
    const QString before = run({"presets", "--json"}).out;
    struct Case {
        QStringList args;
        int exitCode;
        QString message;
    };
    const QList<Case> cases = {
        {{"preset", "remove-item", "Default", "-1"}, 2, "must be 0 or more"},
        {{"preset", "move", "Default", "-3"}, 2, "must be 0 or more"},
        {{"preset", "move-item", "Default", "0", "x"}, 2, "TO must be a whole number, 0 or more, got 'x'"},
        {{"preset", "remove-item", "Default", "9"},
         1,
         "INDEX 9 is out of range: preset 'Default' has 2 right-hand items (0 to 1)"},
        {{"preset", "move-item", "Default", "5", "0"}, 1, "FROM 5 is out of range: preset 'Default' has 2"},
        {{"preset", "move-item", "Default", "0", "3"}, 1, "TO can be 0 to 2"},
        {{"preset", "move", "Default", "4"}, 1, "POSITION 4 is out of range: the preset list has 1 preset (0 to 1)"},
        {{"preset", "add-folder", "Default", "/nonexistent/pierline-folder"},
         1,
         "Item does not exist: /nonexistent/pierline-folder"},
        {{"preset", "add-url", "Default", "https://example.com"}, 2, "add-url needs --label"},
        {{"preset", "add-url", "Default", "example.com", "--label", "E"}, 2, "did you mean https://example.com"},
        {{"note", "set", "--global", "--preset", "Default", "Safari", "hi"}, 2, "not both"},
        {{"preset", "rename", "Default"}, 2, "Usage: pierline preset rename NAME NEW_NAME"},
        {{"preset"}, 2, "Missing preset command"},
        {{"note"}, 2, "Missing subcommand"},
        {{"preset", "action"}, 2, "Missing subcommand"},
        {{"dock", "extra"}, 2, "Unexpected argument: extra"},
        {{"target", "check", "extra"}, 2, "Unexpected argument: extra"},
        {{"frobnicate"}, 2, "Unknown command: frobnicate"},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << describe(c.args, r).toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << describe(c.args, r).toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << describe(c.args, r).toStdString();
    }
    EXPECT_EQ(run({"presets", "--json"}).out, before);
}

// Help needs no home: run against one that does not exist, which must stay so.
TEST_F(CommandLine, EveryCommandAndSubcommandHasHelpThatNamesItsArguments) {
    const QString missing = dir_->filePath(QStringLiteral("no-home"));
    const QList<QStringList> commands = {
        {},
        {"dock"},
        {"presets"},
        {"apply"},
        {"run"},
        {"status"},
        {"quit"},
        {"key"},
        {"key", "describe"},
        {"preset"},
        {"preset", "create"},
        {"preset", "rename"},
        {"preset", "delete"},
        {"preset", "duplicate"},
        {"preset", "show"},
        {"preset", "move"},
        {"preset", "add-folder"},
        {"preset", "add-file"},
        {"preset", "add-url"},
        {"preset", "move-item"},
        {"preset", "remove-item"},
        {"preset", "action"},
        {"preset", "action", "set"},
        {"preset", "action", "remove"},
        {"preset", "companion"},
        {"note"},
        {"note", "set"},
        {"note", "show"},
        {"settings"},
        {"settings", "get"},
        {"settings", "set"},
        {"sandbox"},
        {"sandbox", "init"},
        {"shortcut"},
        {"shortcut", "set"},
        {"shortcut", "show"},
        {"shortcut", "action"},
        {"shortcut", "action", "run"},
        {"hotkey"},
        {"hotkey", "set"},
        {"hotkey", "show"},
    };
    // An argument described by its own name ("NAME  NAME") or named twice in a usage line.
    const QRegularExpression selfDescribed(QStringLiteral("^\\s+([A-Z_]+)\\s+\\1$"),
                                           QRegularExpression::MultilineOption);
    const QRegularExpression repeated(QStringLiteral("\\b([A-Z_]{2,}) \\1\\b"));
    for (QStringList args : commands) {
        args.append(QStringLiteral("--help"));
        const CliRun r = run(args, {{"PIERLINE_HOME", missing}});
        EXPECT_EQ(r.exitCode, 0) << describe(args, r).toStdString();
        EXPECT_TRUE(r.out.startsWith(QStringLiteral("Usage: pierline"))) << describe(args, r).toStdString();
        EXPECT_FALSE(selfDescribed.match(r.out).hasMatch()) << describe(args, r).toStdString();
        EXPECT_FALSE(repeated.match(r.out).hasMatch()) << describe(args, r).toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(CommandLine, ProgressGoesToTheLogAndToStderrOnlyWhenVerbose) {
    const CliRun quiet = run({"presets"});
    ASSERT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.err, QString()) << "a reading command opens the store without a word";
    const QList<std::pair<QStringList, QMap<QString, QString>>> verbose = {
        {{"-v", "presets"}, {}},
        {{"presets", "--verbose"}, {}},
        {{"presets"}, {{"PIERLINE_VERBOSE", "1"}}},
    };
    for (const auto& [args, env] : verbose) {
        QMap<QString, QString> e = env;
        e.insert(QStringLiteral("PIERLINE_HOME"), home());
        const CliRun r = runPierline(args, e);
        EXPECT_EQ(r.exitCode, 0) << describe(args, r).toStdString();
        EXPECT_EQ(r.out, quiet.out) << describe(args, r).toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Total presets in database: 1"))) << describe(args, r).toStdString();
    }
    // Without a journal the lines are kept in the home's log file.
    const QString location = [] {
        ScopedEnv env("PIERLINE_HOME", home().toUtf8());
        return structuredLogLocation();
    }();
    if (location.startsWith(QLatin1Char('/'))) {
        QFile log(location);
        ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << location.toStdString();
        EXPECT_TRUE(log.readAll().contains("Total presets in database: 1"));
    }
}

TEST_F(CommandLine, AMissingExplicitHomeIsAnErrorForReadingCommandsAndApply) {
    const QString typo = dir_->filePath(QStringLiteral("hmoe"));
    const QList<QStringList> reading = {
        {"dock"},
        {"presets"},
        {"preset", "show", "Default"},
        {"settings"},
        {"settings", "get", "appMode"},
        {"note", "show", "Safari"},
        {"apply", "Default"},
    };
    for (const QStringList& args : reading) {
        const CliRun r = run(args, {{"PIERLINE_HOME", typo}});
        EXPECT_EQ(r.exitCode, 1) << describe(args, r).toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("PIERLINE_HOME %1 does not exist").arg(typo)))
            << describe(args, r).toStdString();
        EXPECT_FALSE(QFileInfo::exists(typo)) << describe(args, r).toStdString();
    }
    const CliRun created = run({"preset", "create", "Work"}, {{"PIERLINE_HOME", typo}});
    EXPECT_EQ(created.exitCode, 0) << created.err.toStdString();
    EXPECT_TRUE(QFileInfo(typo).isDir());

    // The default home is made on first use.
    const QString data = dir_->filePath(QStringLiteral("data"));
    const CliRun first = run({"presets"}, {{"PIERLINE_HOME", QString()}, {"XDG_DATA_HOME", data}});
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(QFileInfo(QDir(data).filePath(QStringLiteral("pierline/home"))).isDir());
}

// An answer that cannot be written (stdout on a full disk) is a failure the caller sees, not a 0.
TEST_F(CommandLine, AnAnswerThatCannotBeWrittenFails) {
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    const QList<QStringList> answering = {{"presets"}, {"presets", "--json"}, {"dock"}, {"settings"}, {"--help"}};
    for (const QStringList& args : answering) {
        QProcess process;
        QProcessEnvironment environment = environmentWith({{"PIERLINE_HOME", home()}});
        process.setProcessEnvironment(environment);
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(QStringLiteral(PIERLINE_BINARY), args);
        const CliRun r = finishPierline(process);
        EXPECT_EQ(r.exitCode, 1) << describe(args, r).toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Could not write the output: "))) << describe(args, r).toStdString();
    }
    // A usage error keeps its own exit code.
    QProcess usage;
    usage.setProcessEnvironment(environmentWith({{"PIERLINE_HOME", home()}}));
    usage.setStandardOutputFile(QStringLiteral("/dev/full"));
    usage.start(QStringLiteral(PIERLINE_BINARY), {"presets", "extra"});
    EXPECT_EQ(finishPierline(usage).exitCode, 2);
}

// Reading commands start without the GUI libraries and without the desktop session's (GIO,
// D-Bus, the network stack): only the app executable and the modules load them, when needed.
TEST_F(CommandLine, ReadingCommandsLoadNoGuiOrDesktopLibrary) {
    // DISPLAY set, so a backend that opens the display on its own would be caught too.
    const QList<QStringList> reading = {
        {"--help"},         {"--version"}, {"presets"}, {"presets", "--json"}, {"preset", "show", "Default"},
        {"dock", "--json"}, {"settings"},  {"status"}};
    for (const QStringList& args : reading) {
        const CliRun read = run(args, {{"LD_DEBUG", "libs"}, {"DISPLAY", ":0"}});
        // With no app running, `status` says so and exits 1.
        ASSERT_EQ(read.exitCode, args.first() == "status" ? 1 : 0) << describe(args, read).toStdString();
        // The dynamic loader's report goes to stderr, one "calling init" line per library.
        ASSERT_TRUE(read.err.contains("calling init")) << "no loader report";
        for (const char* gui : {"libX11.so", "libXi.so", "libxcb.so", "libXext.so", "libQt6Gui.so", "libQt6Widgets.so",
                                "libQt6XcbQpa.so", "libpierline-x11.so", "libQt6DBus.so", "libQt6Network.so",
                                "libgio-2.0.so", "libdbus-1.so", "libpierline-desktop.so"})
            EXPECT_FALSE(read.err.contains(QString::fromLatin1(gui)))
                << args.join(' ').toStdString() << " loads " << gui;
    }
}

TEST_F(CommandLine, PositionsShownAreThePositionsMoveTakes) {
    const QMap<QString, QString> env{{"PIERLINE_HOME", dir_->filePath("positions")}};
    for (const char* name : {"A", "B", "C", "D", "E"})
        ASSERT_EQ(run({"preset", "create", name}, env).exitCode, 0);
    ASSERT_EQ(run({"preset", "delete", "B"}, env).exitCode, 0);
    ASSERT_EQ(run({"preset", "delete", "C"}, env).exitCode, 0);

    QStringList numbers;
    for (const QString& line : run({"presets"}, env).out.split('\n', Qt::SkipEmptyParts))
        numbers << line.section("  ", 0, 0);
    EXPECT_EQ(numbers, (QStringList{"0", "1", "2", "3"})) << "Default, A, D, E";
    EXPECT_TRUE(run({"preset", "show", "E"}, env).out.contains("\nPosition: 3\n"));
    const CliRun moved = run({"preset", "move", "E", "0"}, env);
    EXPECT_EQ(moved.exitCode, 0) << moved.err.toStdString();
    EXPECT_TRUE(run({"preset", "show", "E"}, env).out.contains("\nPosition: 0\n"));
}

TEST_F(CommandLine, AnswersAreConsistentAcrossCommands) {
    struct Case {
        QStringList args;
        int exitCode;
        QString out; // contained in stdout
        QString err; // contained in stderr
    };
    const QList<Case> cases = {
        {{"presest"}, 2, {}, "Unknown command: presest; did you mean 'presets'?"},
        {{"shortcat", "show"}, 2, {}, "did you mean 'shortcut'?"},
        {{"zzzzzz"}, 2, {}, "Unknown command: zzzzzz\n"},
        {{"help", "apply"}, 0, "Usage: pierline apply", {}},
        {{"help", "preset", "create"}, 0, "Usage: pierline preset create NAME", {}},
        {{"settings", "--json", "extra"}, 2, {}, "Unexpected argument: extra"},
        {{"target", "check", "--json"}, 0, "\"reachable\": true", {}},
        {{"preset", "show"}, 2, {}, "Expected NAME\n"},
        {{"preset", "rename", "Default"}, 2, {}, "Expected NAME and NEW_NAME\n"},
        {{"shortcut", "set", "Default"}, 2, {}, "Expected NAME and COMBO\n"},
        {{"shortcut", "remove", "Default"}, 0, "Preset 'Default' has no shortcut; nothing to remove\n", {}},
        {{"shortcut", "action", "remove", "updateLastAppliedPreset"}, 0, "has no shortcut; nothing to remove\n", {}},
        {{"hotkey", "remove", "Default"}, 0, "Preset 'Default' has no advanced hotkey; nothing to remove\n", {}},
        {{"settings", "set", "closeOtherApps", "false"}, 0, "Set closeOtherApps to false\n", {}},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << describe(c.args, r).toStdString();
        EXPECT_TRUE(r.out.contains(c.out)) << describe(c.args, r).toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << describe(c.args, r).toStdString();
    }
    const QJsonDocument check = QJsonDocument::fromJson(run({"target", "check", "--json"}).out.toUtf8());
    EXPECT_EQ(check.object().value("target"), "sandbox");
}

TEST_F(CommandLine, AnEmptyPresetIsNotAppliedToADesktopDockWithoutYes) {
    const QMap<QString, QString> env{{"PIERLINE_HOME", dir_->filePath("empty-preset")}};
    ASSERT_EQ(run({"preset", "create", "Nothing"}, env).exitCode, 0);
    ASSERT_EQ(run({"settings", "set", "dockTarget", "gnome"}, env).exitCode, 0);
    const CliRun refused = run({"apply", "Nothing"}, env); // stdin is no terminal here
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("preset 'Nothing' has no apps and no items; applying it empties the GNOME dash"))
        << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("give --yes to apply it anyway")) << refused.err.toStdString();
}

TEST_F(CommandLine, CreateAnswersTheIdentifierAloneAndSaysAnEmptyStart) {
    const QMap<QString, QString> env{{"PIERLINE_HOME", dir_->filePath("create")}};
    ASSERT_EQ(run({"sandbox", "init"}, env).exitCode, 0);
    const QRegularExpression idLine(QStringLiteral("^[0-9A-Fa-f-]{36}\\n$"));
    struct Case {
        QStringList args;
        bool saysEmpty;
    };
    const QList<Case> cases = {
        {{"preset", "create", "Blank"}, true},
        {{"preset", "create", "Copied", "--from-dock"}, false},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args, env);
        EXPECT_EQ(r.exitCode, 0) << describe(c.args, r).toStdString();
        EXPECT_TRUE(idLine.match(r.out).hasMatch()) << describe(c.args, r).toStdString();
        EXPECT_EQ(r.err.contains("starts empty"), c.saysEmpty) << describe(c.args, r).toStdString();
    }
    EXPECT_TRUE(run({"help", "preset", "create"}).out.contains("identifier"));
}

TEST_F(CommandLine, LinksAreWebAndFileAddressesAndRefusalsLeaveOutTheParsersText) {
    const QMap<QString, QString> env{{"PIERLINE_HOME", dir_->filePath("links")}};
    ASSERT_EQ(run({"sandbox", "init"}, env).exitCode, 0);
    ASSERT_EQ(run({"preset", "create", "Links"}, env).exitCode, 0);
    struct Case {
        QString url;
        int exitCode;
        QString err; // contained in stderr
    };
    const QList<Case> cases = {
        {"https://example.com/a", 0, {}},
        {"http://example.com/b", 0, {}},
        {"HTTPS://example.com/c", 0, {}},
        {"file:///home/user/Notes.txt", 0, {}},
        {"ftp://x.org", 2, "Invalid URL: ftp://x.org uses the ftp: scheme; a Dock link is a web address"},
        {"mailto:someone@example.com", 2, "uses the mailto: scheme"},
        {"javascript:alert(1)", 2, "uses the javascript: scheme"},
        {"http://[bad", 2, "Invalid URL: http://[bad is not a valid address."},
        {"https://exa mple.com", 2, "Invalid URL: https://exa mple.com is not a valid address."},
    };
    for (const Case& c : cases) {
        const QStringList args{"preset", "add-url", "Links", c.url, "--label", "L"};
        const CliRun r = run(args, env);
        EXPECT_EQ(r.exitCode, c.exitCode) << describe(args, r).toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << describe(args, r).toStdString();
        for (const char* parserText : {"Expected", "source was", "hostname"})
            EXPECT_FALSE(r.err.section('\n', 0, 0).contains(parserText)) << describe(args, r).toStdString();
    }
    const QString shown = run({"preset", "show", "Links", "--json"}, env).out;
    for (const Case& c : cases)
        EXPECT_EQ(shown.contains(c.url.mid(c.url.indexOf(':') + 1)), c.exitCode == 0) << c.url.toStdString();
}
