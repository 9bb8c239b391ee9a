#include "SwitchingFixtures.h"

#include "core/ActionRegistry.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "store/ManagedObjectContext.h"
#include "switching/ActionManager.h"
#include "switching/AppActionExecutor.h"
#include "switching/AppNoteManager.h"

#include <QJsonDocument>
#include <QScopeGuard>
#include <mutex>

using namespace pierline;
using namespace pierline::test;

namespace {

class SwitchingStore : public SwitchingStoreTest {
protected:
    // The executor hops to the main thread, so it runs on a background queue here.
    template <typename F> auto offMain(F work) {
        auto future = runAsync(QueuePriority::UserInitiated, std::move(work));
        EXPECT_TRUE(waitFor(future));
        return future.result();
    }
    // The printed lines from `first` on.
    QStringList printedFrom(const QString& first) const {
        const QStringList lines = logs.plainLines();
        return lines.mid(lines.indexOf(first));
    }
};

const QString kSafari = QStringLiteral("file:///Applications/Safari.app/");
const QString kMail = QStringLiteral("file:///Applications/Mail.app/");

} // namespace

TEST(SwitchingNotes, KeysAreTheSameForEverySpellingOfAnApp) {
    const QString key = appNoteKey(kSafari);
    EXPECT_EQ(key, "file:///Applications/Safari.app");
    EXPECT_EQ(appNoteKey("file:///Applications/Safari.app"), key);
    EXPECT_EQ(appNoteKey("/Applications/Safari.app/"), key);
    EXPECT_EQ(appNoteKey("file:///Applications/Visual%20Studio%20Code.app/"),
              appNoteKey("file:///Applications/Visual Studio Code.app"));
    EXPECT_EQ(appNoteKey("pierline-spacer-3"), "pierline-spacer-3");
    EXPECT_EQ(appNoteKey("   "), "   ");
}

TEST_F(SwitchingStore, PresetNotesAreTrimmedFoundAndCleared) {
    const DockPresetPtr preset = makePreset("A", {kSafari, kMail});
    AppNoteManager& notes = AppNoteManager::shared();
    notes.setNote(*preset, kSafari, "  finish the report \n", context());
    EXPECT_EQ(notes.note(*preset, "file:///Applications/Safari.app"), "finish the report");
    EXPECT_FALSE(notes.note(*preset, kMail).has_value());

    // Blank text removes the note; the last one gone clears the attribute.
    notes.setNote(*preset, "/Applications/Safari.app", " \n\t ", context());
    EXPECT_FALSE(notes.note(*preset, kSafari).has_value());
    EXPECT_FALSE(preset->appNotes().has_value());
    EXPECT_FALSE(context().hasChanges());

    // An empty entry is refused with the note error of its kind.
    for (const auto& [code, text] : {std::pair<int, QString>{1, "Cannot set note for empty app URL"},
                                     {2, "Cannot set global note for empty app URL"}}) {
        try {
            code == 1 ? notes.setNote(*preset, QString(), "x", context()) : notes.setGlobalNote({}, "x", context());
            ADD_FAILURE() << "empty entry accepted";
        } catch (const AppNoteError& e) {
            EXPECT_EQ(e.code(), code);
            EXPECT_EQ(e.description(), text);
        }
    }

    // An unreadable attribute counts as no notes and is replaced by the next change.
    preset->setAppNotes("{not json");
    EXPECT_FALSE(notes.note(*preset, kSafari).has_value());
    notes.setNote(*preset, kMail, "reply to Ann", context());
    EXPECT_EQ(notes.note(*preset, kMail), "reply to Ann");
}

TEST_F(SwitchingStore, GlobalNoteReplacesPresetNotesButClearingItLeavesThem) {
    const DockPresetPtr a = makePreset("A", {kSafari, kMail});
    const DockPresetPtr b = makePreset("B", {"file:///Applications/Safari.app"});
    AppNoteManager& notes = AppNoteManager::shared();
    notes.setNote(*a, kSafari, "a's safari", context());
    notes.setNote(*a, kMail, "a's mail", context());
    notes.setNote(*b, "file:///Applications/Safari.app", "b's safari", context());

    notes.setGlobalNote("/Applications/Safari.app", "everywhere", context());
    EXPECT_EQ(notes.globalNote(kSafari), "everywhere");
    EXPECT_FALSE(notes.note(*a, kSafari).has_value());
    EXPECT_FALSE(notes.note(*b, kSafari).has_value());
    EXPECT_EQ(notes.note(*a, kMail), "a's mail");
    EXPECT_FALSE(b->appNotes().has_value());
    const auto stored = UserDefaults::standard().data(AppNoteManager::globalNotesKey);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(QJsonDocument::fromJson(*stored).object().value(appNoteKey(kSafari)).toString(), "everywhere");

    notes.setNote(*b, kSafari, "b again", context());
    notes.setGlobalNote(kSafari, QString(), context());
    EXPECT_FALSE(UserDefaults::standard().contains(AppNoteManager::globalNotesKey));
    EXPECT_EQ(notes.note(*b, kSafari), "b again");

    // Global data that is not a JSON object counts as no notes.
    UserDefaults::standard().set(AppNoteManager::globalNotesKey, QByteArray("[1,2"));
    EXPECT_FALSE(notes.globalNote(kSafari).has_value());
}

TEST_F(SwitchingStore, CleanupDropsOnlyNotesOfAppsThatLeft) {
    const DockPresetPtr preset = makePreset("A", {kSafari, kMail});
    AppNoteManager& notes = AppNoteManager::shared();
    notes.setNote(*preset, kSafari, "s", context());
    notes.setNote(*preset, kMail, "m", context());
    const auto before = preset->appNotes();

    notes.cleanupOrphanedNotes(*preset, {"/Applications/Mail.app", kSafari, "x"}, context());
    EXPECT_EQ(preset->appNotes(), before);
    EXPECT_FALSE(preset->hasChanges());

    notes.cleanupOrphanedNotes(*preset, {kMail}, context());
    EXPECT_FALSE(notes.note(*preset, kSafari).has_value());
    EXPECT_EQ(notes.note(*preset, kMail), "m");
}

TEST(SwitchingActions, RecordsRoundTripAndRejectGarbage) {
    const QJsonObject record = OpenInIDEAction("/src/app").record();
    EXPECT_EQ(record.value("actionType").toString(), "open_in_ide");
    const QByteArray config = QByteArray::fromBase64(record.value("configuration").toString().toLatin1());
    EXPECT_EQ(QJsonDocument::fromJson(config).object().value("projectPath").toString(), "/src/app");
    const auto ide = AppAction::fromRecord(record);
    ASSERT_TRUE(ide);
    EXPECT_EQ(static_cast<OpenInIDEAction&>(*ide).projectPath(), "/src/app");

    const auto browser = AppAction::fromRecord(OpenBrowserProfileAction("Profile 2", "Work", true).record());
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->type(), "open_browser_profile");

    EXPECT_FALSE(AppAction::fromRecord({{"actionType", "open_in_ide"}, {"configuration", "%%%not base64"}}));
    EXPECT_FALSE(AppAction::fromRecord({{"actionType", "open_in_ide"}, {"configuration", "WzFd"}})); // "[1]"
    EXPECT_FALSE(AppAction::fromRecord({{"actionType", "launch_rockets"}, {"configuration", ""}}));

    EXPECT_EQ(ActionRegistry::shared().getAvailableActions("file:///Applications/Arc.app/"),
              (QStringList{"open_app", "open_browser_profile"}));
    EXPECT_EQ(ActionRegistry::shared().getAvailableActions("file:///Applications/Visual%20Studio%20Code.app/"),
              (QStringList{"open_app", "open_in_ide"}));
    EXPECT_EQ(ActionRegistry::shared().getAvailableActions(kMail), QStringList{"open_app"});
}

TEST_F(SwitchingStore, ActionManagerSetsRemovesAndCleansUp) {
    const DockPresetPtr preset = makePreset("A", {kSafari, kMail});
    ActionManager& actions = ActionManager::shared();
    actions.setAction(*preset, kSafari, OpenAppAction(), context());
    actions.setAction(*preset, kMail, OpenInIDEAction("/p"), context());
    EXPECT_TRUE(actions.hasCustomAction(*preset, kSafari));
    EXPECT_EQ(actions.getAction(*preset, kMail)->type(), "open_in_ide");

    actions.cleanupOrphanedActions(*preset, {kMail}, context());
    EXPECT_FALSE(actions.hasCustomAction(*preset, kSafari));
    actions.removeAction(*preset, kMail, context());
    EXPECT_FALSE(preset->appActions().has_value());

    QJsonObject mixed{{kSafari, OpenAppAction().record()},
                      {kMail, QJsonObject{{"actionType", "open_in_ide"}, {"configuration", "!!"}}},
                      {"x", 42}};
    preset->setAppActions(QString::fromUtf8(QJsonDocument(mixed).toJson()));
    actions.cleanupCorruptedActions(*preset, context());
    EXPECT_EQ(ActionManager::decodeActions(preset->appActions()).keys(), QStringList{kSafari});

    // Unreadable text reads as no actions, says why, and is cleared by the clean-up.
    logs.clear();
    preset->setAppActions("{\"broken\":");
    EXPECT_FALSE(logs.printedContaining("Failed to decode appActions JSON: "));
    EXPECT_FALSE(actions.getAction(*preset, kSafari));
    EXPECT_TRUE(logs.printedContaining("Failed to decode appActions JSON: "));
    actions.cleanupCorruptedActions(*preset, context());
    EXPECT_FALSE(preset->appActions().has_value());
}

// The action run works on the preset as read for the switch; no store is involved.
TEST_F(SwitchingStore, ActionRunSkipsSpacersAndCountsNothingWithoutRecords) {
    const QString custom =
        QUrl::fromLocalFile(home.file("Library/Application Support/Pierline/CustomSpaces/Gap.app/")).toString();
    const PresetSnapshot plain{.name = "Plain", .stored = true, .apps = {kMail}};
    PresetSnapshot spaced{.name = "Spaced", .stored = true, .apps = {"pierline-spacer-1", custom}};
    spaced.appActions.insert("pierline-spacer-1", OpenAppAction().record());
    spaced.appActions.insert(custom, OpenAppAction().record());

    const auto none =
        offMain([plain] { return AppActionExecutor::executeActionsForPreset(plain, DockAppKind::Bundle); });
    EXPECT_EQ(none.executed, 0);
    EXPECT_EQ(none.processed, 1);

    const auto skipped =
        offMain([spaced] { return AppActionExecutor::executeActionsForPreset(spaced, DockAppKind::Bundle); });
    EXPECT_EQ(skipped.openApps, 0);
    EXPECT_EQ(skipped.processed, 0);
    EXPECT_TRUE(logs.printed("  [1] Spacer - [SPACER] Skipped"));
    EXPECT_TRUE(logs.printed("  [2] Gap - [CUSTOM SPACE] Skipped"));

    logs.clear();
    offMain(
        [] { return AppActionExecutor::executeActionsForPreset(PresetSnapshot{.name = "Nope"}, DockAppKind::Bundle); });
    EXPECT_TRUE(logs.printed("❌ Could not find preset 'Nope' for action execution"));
}

// The system workspace, recording which bundles it was asked to launch with arguments.
class LaunchRecordingWorkspace : public Workspace {
public:
    std::optional<QVariantMap> infoPlist(const QString& b) const override { return system_->infoPlist(b); }
    std::optional<QString> bundleIdentifier(const QString& b) const override { return system_->bundleIdentifier(b); }
    bool isApplication(const QString& b) const override { return system_->isApplication(b); }
    QList<RunningApplication> runningApplications() const override { return system_->runningApplications(); }
    bool terminate(qint64 pid) override { return system_->terminate(pid); }
    bool forceTerminate(qint64 pid) override { return system_->forceTerminate(pid); }
    bool isTerminated(qint64 pid) const override { return system_->isTerminated(pid); }
    OpenResult openApplication(const QString& b) override { return system_->openApplication(b); }
    OpenResult openFile(const QString& f, const QString& b) override { return system_->openFile(f, b); }
    std::optional<QString> applicationPath(const QString& id) const override { return system_->applicationPath(id); }
    OpenResult launchApplication(const QString& b, const QStringList& arguments, const QString& executable) override {
        std::lock_guard lock(mutex_);
        launched_.append(QFileInfo(b).fileName() + ' ' + arguments.join(' '));
        return system_->launchApplication(b, arguments, executable);
    }
    QStringList launched() {
        std::lock_guard lock(mutex_);
        return launched_;
    }

private:
    std::unique_ptr<Workspace> system_ = createSystemWorkspace();
    std::mutex mutex_;
    QStringList launched_;
};

TEST_F(SwitchingStore, BrowserProfilesLaunchByFamily) {
    const QString record = home.file("browser-args.txt");
    const QStringList conf{"record=" + record};
    const QString arc = apps->makeApp("Arc", "company.thebrowser.Browser", {}, conf);
    const QString opera = apps->makeApp("Opera", "com.operasoftware.Opera", {}, conf);
    const QString firefox = apps->makeApp("Firefox", "org.mozilla.firefox", {}, conf);
    const QString safari = apps->makeApp("Safari", "com.apple.Safari");
    const QString other = apps->makeApp("Netscape", "com.example.netscape");
    const QJsonObject profile = OpenBrowserProfileAction("Profile 2", "Work", true).record();
    // Every browser starts through the workspace, as every other app does.
    LaunchRecordingWorkspace workspace;
    Workspace::setShared(&workspace);
    const auto restore = qScopeGuard([] { Workspace::setShared(nullptr); });
    auto run = [&](const QString& bundle, const QJsonObject& r = {}) {
        const QJsonObject rec = r.isEmpty() ? profile : r;
        return offMain(
            [bundle, rec] { return AppActionExecutor::executeOpenBrowserProfileAction(entryFor(bundle), rec); });
    };

    const qint64 oldArc = apps->launch(arc);
    EXPECT_FALSE(run(arc).has_value());
    EXPECT_TRUE(waitUntil([&] { return readFile(record).contains("--profile-directory=Profile 2"); }));
    EXPECT_FALSE(apps->running(oldArc));
    EXPECT_TRUE(logs.printed("     ✅ Successfully launched Chromium browser with profile 'Work'"));

    EXPECT_FALSE(run(opera).has_value());
    EXPECT_TRUE(waitUntil([&] { return readFile(record).contains("--user-data-dir=Profile 2"); }));

    EXPECT_FALSE(run(firefox).has_value());
    EXPECT_TRUE(waitUntil([&] { return readFile(record).contains("-P\tProfile 2"); }));
    EXPECT_EQ(workspace.launched(), (QStringList{"Arc.app --profile-directory=Profile 2",
                                                 "Opera.app --user-data-dir=Profile 2", "Firefox.app -P Profile 2"}));

    // No scripting host here: Safari opens normally instead.
    EXPECT_FALSE(run(safari).has_value());
    EXPECT_TRUE(logs.printedContaining("     ⚠️ Safari profile launch failed, opening normally: "));
    EXPECT_TRUE(waitUntil([&] { return apps->appsFrom(safari).size() == 1; }));

    const auto unsupported = run(other);
    ASSERT_TRUE(unsupported.has_value());
    EXPECT_EQ(unsupported->message, "Unsupported browser type");

    const auto invalid = run(
        arc, QJsonObject{{"actionType", "open_browser_profile"},
                         {"configuration",
                          QString::fromLatin1(QByteArray(R"({"profileDirectory":"","profileName":"x"})").toBase64())}});
    ASSERT_TRUE(invalid.has_value());
    EXPECT_EQ(invalid->kind, ActionExecutionError::Kind::InvalidConfiguration);
    EXPECT_TRUE(logs.printed("     ❌ Invalid browser profile configuration"));

    const auto missing = offMain(
        [&] { return AppActionExecutor::executeOpenBrowserProfileAction("file:///nowhere/Arc.app/", profile); });
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->kind, ActionExecutionError::Kind::AppNotFound);
}

TEST_F(SwitchingStore, ActionListingNamesWhatWillRun) {
    PresetSnapshot preset{.name = "A", .stored = true, .apps = {kSafari, "pierline-small-spacer-1", kMail}};
    preset.appActions.insert(kMail, OpenAppAction().record());
    AppActionExecutor::logActions(preset);
    const QStringList expected{
        "\n--- APP ACTION LOGGING ---",
        "Preset: A",
        "Checking actions for 3 apps:",
        "  [1] Safari - ➡️ NO ACTION: Will only be added to dock",
        "     Description: App will be placed in dock but not opened/executed",
        "  [2] Small Spacer - [SPACER] No action needed",
        "  [3] Mail - ⚙️ ACTION CONFIGURED: Will execute action when preset applies",
        "     Description: Custom behavior will run for this app",
        "--- END ACTION LOGGING ---\n",
    };
    EXPECT_EQ(printedFrom(expected.first()), expected);
}
