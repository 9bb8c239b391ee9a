// `pierline context` against a real running app on a sandbox home.
#include "support/PierlineCli.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <sys/stat.h>

using namespace pierline::test;

namespace {

class LastContextCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        env_ = privateHomeEnvironment(dir_);
        ASSERT_EQ(cli({"sandbox", "init"}).exitCode, 0);
    }
    void TearDown() override { stopPierline(app_.get(), env_); }
    CliRun cli(const QStringList& args) const { return runPierline(args, env_); }
    void run() {
        app_ = startPierline({"run"}, env_);
        ASSERT_TRUE(app_->waitForStarted());
        if (!waitForRunningApp(*app_, env_))
            FAIL() << "the app did not come up";
    }
    QJsonObject state() const {
        const CliRun r = cli({"context", "state", "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out.toUtf8()).object();
    }
    QJsonObject preset(const QString& name) const {
        return QJsonDocument::fromJson(cli({"preset", "show", name, "--json"}).out.toUtf8()).object();
    }
    void ok(const QStringList& args) const {
        const CliRun r = cli(args);
        EXPECT_EQ(r.exitCode, 0) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }

    QTemporaryDir dir_;
    QMap<QString, QString> env_;
    std::unique_ptr<QProcess> app_;
};

} // namespace

TEST_F(LastContextCommand, BadInputAndNoAppAreRefusedWithTheReason) {
    for (const QStringList& args :
         {QStringList{"context"}, QStringList{"context", "open"}, QStringList{"context", "state", "--bogus"},
          QStringList{"context", "edit"}, QStringList{"context", "close", "now"}}) {
        const CliRun r = cli(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.contains("context state [--json]") || r.err.contains("context state [--json]"))
            << args.join(' ').toStdString();
    }
    const CliRun none = cli({"context", "state"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err.trimmed(), QString("Pierline is not running on %1").arg(dir_.filePath("home")));
    EXPECT_EQ(cli({"context", "request", "--new", "A"}).exitCode, 1);
}

TEST_F(LastContextCommand, PromptSaveThenTheIncomingNoteInTheRunningApp) {
    run();
    ok({"preset", "create", "Alpha"});
    ok({"preset", "create", "Beta"});
    // Off: nothing opens.
    const CliRun off = cli({"context", "edit", "Beta"});
    EXPECT_EQ(off.exitCode, 1);
    EXPECT_EQ(off.err.trimmed(), "Last Context is off");
    EXPECT_FALSE(state().contains("kind"));

    ok({"settings", "set", "lastContextEnabled", "true"});
    const CliRun unknown = cli({"context", "edit", "Gamma"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err.trimmed(), "No preset named 'Gamma'.");

    ok({"context", "edit", "Beta"});
    EXPECT_EQ(state().value("title").toString(), "Editing Beta");
    ok({"context", "save", "  review the draft  "});
    EXPECT_EQ(preset("Beta").value("lastContextStatus").toString(), "review the draft");
    EXPECT_FALSE(state().contains("kind"));

    // An outgoing id that finds nothing is no outgoing preset, whatever the name: Beta's note alone.
    ok({"context", "request", "--new", "Beta", "--previous", "Alpha", "--previous-id",
        "{6f0c2b1e-0000-4000-8000-000000000000}"});
    QJsonObject s = state();
    EXPECT_EQ(s.value("kind").toString(), "incomingDisplay");
    EXPECT_FALSE(s.value("interactive").toBool());
    EXPECT_EQ(s.value("title").toString(), "Now in Beta");
    ok({"context", "close"});

    // An id that is no UUID travels as text, a wrong type, so the name finds the preset left.
    ok({"context", "request", "--new", "Beta", "--previous", "Alpha", "--previous-id", "not-a-uuid"});
    s = state();
    EXPECT_EQ(s.value("kind").toString(), "outgoingPrompt");
    EXPECT_TRUE(s.value("interactive").toBool());
    EXPECT_EQ(s.value("title").toString(), "Switching to Beta from Alpha");
    EXPECT_EQ(s.value("countdown").toString(), "Auto-close in 30s");
    EXPECT_EQ(s.value("pendingIncoming").toObject().value("presetName").toString(), "Beta");
    EXPECT_EQ(s.value("viewModel").toObject().value("presentationMode").toString(), "switchingOutgoing");
    ok({"context", "pause"});
    EXPECT_EQ(state().value("countdown").toString(), "Auto-close paused");
    ok({"context", "save", "left Alpha half done"});
    EXPECT_EQ(preset("Alpha").value("lastContextStatus").toString(), "left Alpha half done");
    // The note follows once the prompt has faded out.
    QDeadlineTimer faded(10000);
    while (!faded.hasExpired() && !state().contains("kind"))
        QThread::msleep(20);
    s = state();
    EXPECT_EQ(s.value("kind").toString(), "incomingDisplay");
    EXPECT_EQ(s.value("viewModel").toObject().value("incomingStatus").toString(), "review the draft");
    ok({"context", "close"});

    // A real apply reaches the manager too: nothing was applied before, so only Beta's note shows.
    ok({"apply", "Beta"});
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && !state().contains("kind"))
        QThread::msleep(50);
    EXPECT_EQ(state().value("title").toString(), "Now in Beta");
    ok({"context", "close"});
    EXPECT_EQ(app_->state(), QProcess::Running);
}
