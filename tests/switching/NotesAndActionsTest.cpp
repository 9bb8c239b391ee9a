#include "SwitchingFixtures.h"
#include "support/CapturingLogSink.h"
#include "support/VirtualClock.h"

#include "core/ActionManager.h"
#include "core/ActionRegistry.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "store/PresetRecord.h"
#include "switching/AppActionExecutor.h"
#include "switching/AppNoteManager.h"

#include <QJsonDocument>

using namespace pierline;
using namespace pierline::test;

namespace {

QString entryFor(const QString& bundle) {
    return QUrl::fromLocalFile(bundle + QLatin1Char('/')).toString();
}

// A fresh store under a temporary home, with fake apps that are real processes.
class SwitchingStore : public ::testing::Test {
protected:
    void SetUp() override {
        apps = std::make_unique<RunningApps>(home);
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::Options options;
        options.monitorNetwork = false;
        DockPresetManager::setSharedOptions(options);
    }
    void TearDown() override {
        apps.reset();
        QCoreApplication::processEvents();
        DockPresetManager::resetSharedForTesting();
    }
    DockPresetPtr makePreset(const QString& name, const QStringList& entries) {
        return DockPresetManager::shared().createPreset(name, encodeApps(entries));
    }
    ManagedObjectContext& context() { return DockPresetManager::shared().context(); }

    // The executor hops to the main thread, so it runs on a background queue here.
    template <typename F> auto offMain(F work) {
        auto future = runAsync(QueuePriority::UserInitiated, std::move(work));
        EXPECT_TRUE(waitFor(future));
        return future.result();
    }

    TempHome home;
    VirtualTime time;
    CapturingLogSink logs;
    std::unique_ptr<RunningApps> apps;
};

const QString kSafari = QStringLiteral("file:///Applications/Safari.app/");
const QString kMail = QStringLiteral("file:///Applications/Mail.app/");

} // namespace

TEST(SwitchingNotes, KeysAreTheSameForEverySpellingOfAnApp) {
    const QString key = AppNoteManager::noteKey(kSafari);
    EXPECT_EQ(key, QStringLiteral("file:///Applications/Safari.app"));
    EXPECT_EQ(AppNoteManager::noteKey(QStringLiteral("file:///Applications/Safari.app")), key);
    EXPECT_EQ(AppNoteManager::noteKey(QStringLiteral("/Applications/Safari.app/")), key);
    EXPECT_EQ(AppNoteManager::noteKey(QStringLiteral("file:///Applications/Visual%20Studio%20Code.app/")),
              AppNoteManager::noteKey(QStringLiteral("file:///Applications/Visual Studio Code.app")));
    EXPECT_EQ(AppNoteManager::noteKey(QStringLiteral("pierline-spacer-3")), QStringLiteral("pierline-spacer-3"));
    EXPECT_EQ(AppNoteManager::noteKey(QStringLiteral("   ")), QStringLiteral("   "));
}

TEST_F(SwitchingStore, PresetNotesAreTrimmedFoundAndCleared) {
    const DockPresetPtr preset = makePreset(QStringLiteral("A"), {kSafari, kMail});
    AppNoteManager& notes = AppNoteManager::shared();
    notes.setNote(*preset, kSafari, QStringLiteral("  finish the report \n"), context());
    EXPECT_EQ(notes.note(*preset, QStringLiteral("file:///Applications/Safari.app")),
              QStringLiteral("finish the report"));
    EXPECT_FALSE(notes.note(*preset, kMail).has_value());

    // Blank text removes the note; the last one gone clears the attribute.
    notes.setNote(*preset, QStringLiteral("/Applications/Safari.app"), QStringLiteral(" \n\t "), context());
    EXPECT_FALSE(notes.note(*preset, kSafari).has_value());
    EXPECT_FALSE(preset->appNotes().has_value());
    EXPECT_FALSE(context().hasChanges());

    try {
        notes.setNote(*preset, QString(), QStringLiteral("x"), context());
        FAIL() << "empty entry accepted";
    } catch (const AppNoteError& e) {
        EXPECT_EQ(e.code(), 1);
        EXPECT_EQ(e.description(), QStringLiteral("Cannot set note for empty app URL"));
    }
    try {
        notes.setGlobalNote(QString(), QStringLiteral("x"), context());
        FAIL() << "empty entry accepted";
    } catch (const AppNoteError& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_EQ(e.description(), QStringLiteral("Cannot set global note for empty app URL"));
    }

    // An unreadable attribute counts as no notes and is replaced by the next change.
    preset->setAppNotes(QStringLiteral("{not json"));
    EXPECT_FALSE(notes.note(*preset, kSafari).has_value());
    notes.setNote(*preset, kMail, QStringLiteral("reply to Ann"), context());
    EXPECT_EQ(notes.note(*preset, kMail), QStringLiteral("reply to Ann"));
}

TEST_F(SwitchingStore, GlobalNoteReplacesPresetNotesButClearingItLeavesThem) {
    const DockPresetPtr a = makePreset(QStringLiteral("A"), {kSafari, kMail});
    const DockPresetPtr b = makePreset(QStringLiteral("B"), {QStringLiteral("file:///Applications/Safari.app")});
    AppNoteManager& notes = AppNoteManager::shared();
    notes.setNote(*a, kSafari, QStringLiteral("a's safari"), context());
    notes.setNote(*a, kMail, QStringLiteral("a's mail"), context());
    notes.setNote(*b, QStringLiteral("file:///Applications/Safari.app"), QStringLiteral("b's safari"), context());

    notes.setGlobalNote(QStringLiteral("/Applications/Safari.app"), QStringLiteral("everywhere"), context());
    EXPECT_EQ(notes.globalNote(kSafari), QStringLiteral("everywhere"));
    EXPECT_FALSE(notes.note(*a, kSafari).has_value());
    EXPECT_FALSE(notes.note(*b, kSafari).has_value());
    EXPECT_EQ(notes.note(*a, kMail), QStringLiteral("a's mail"));
    EXPECT_FALSE(b->appNotes().has_value());
    const auto stored = UserDefaults::standard().data(AppNoteManager::globalNotesKey);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(QJsonDocument::fromJson(*stored).object().value(AppNoteManager::noteKey(kSafari)).toString(),
              QStringLiteral("everywhere"));

    notes.setNote(*b, kSafari, QStringLiteral("b again"), context());
    notes.setGlobalNote(kSafari, QString(), context());
    EXPECT_FALSE(UserDefaults::standard().contains(AppNoteManager::globalNotesKey));
    EXPECT_EQ(notes.note(*b, kSafari), QStringLiteral("b again"));

    // Global data that is not a JSON object counts as no notes.
    UserDefaults::standard().set(AppNoteManager::globalNotesKey, QByteArray("[1,2"));
    EXPECT_FALSE(notes.globalNote(kSafari).has_value());
}

TEST_F(SwitchingStore, CleanupDropsOnlyNotesOfAppsThatLeft) {
    const DockPresetPtr preset = makePreset(QStringLiteral("A"), {kSafari, kMail});
    AppNoteManager& notes = AppNoteManager::shared();
    notes.setNote(*preset, kSafari, QStringLiteral("s"), context());
    notes.setNote(*preset, kMail, QStringLiteral("m"), context());
    const auto before = preset->appNotes();

    notes.cleanupOrphanedNotes(*preset, {QStringLiteral("/Applications/Mail.app"), kSafari, QStringLiteral("x")},
                               context());
    EXPECT_EQ(preset->appNotes(), before);
    EXPECT_FALSE(preset->hasChanges());

    notes.cleanupOrphanedNotes(*preset, {kMail}, context());
    EXPECT_FALSE(notes.note(*preset, kSafari).has_value());
    EXPECT_EQ(notes.note(*preset, kMail), QStringLiteral("m"));
}

TEST(SwitchingActions, RecordsRoundTripAndRejectGarbage) {
    const QJsonObject record = OpenInIDEAction(QStringLiteral("/src/app")).record();
    EXPECT_EQ(record.value(QStringLiteral("actionType")).toString(), QStringLiteral("open_in_ide"));
    const QByteArray config =
        QByteArray::fromBase64(record.value(QStringLiteral("configuration")).toString().toLatin1());
    EXPECT_EQ(QJsonDocument::fromJson(config).object().value(QStringLiteral("projectPath")).toString(),
              QStringLiteral("/src/app"));
    const auto ide = AppAction::fromRecord(record);
    ASSERT_TRUE(ide);
    EXPECT_EQ(static_cast<OpenInIDEAction&>(*ide).projectPath(), QStringLiteral("/src/app"));

    const auto browser = AppAction::fromRecord(
        OpenBrowserProfileAction(QStringLiteral("Profile 2"), QStringLiteral("Work"), true).record());
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->type(), QStringLiteral("open_browser_profile"));

    EXPECT_FALSE(AppAction::fromRecord({{"actionType", "open_in_ide"}, {"configuration", "%%%not base64"}}));
    EXPECT_FALSE(AppAction::fromRecord({{"actionType", "open_in_ide"}, {"configuration", "WzFd"}})); // "[1]"
    EXPECT_FALSE(AppAction::fromRecord({{"actionType", "launch_rockets"}, {"configuration", ""}}));

    EXPECT_EQ(ActionRegistry::shared().getAvailableActions(QStringLiteral("file:///Applications/Arc.app/")),
              (QStringList{QStringLiteral("open_app"), QStringLiteral("open_browser_profile")}));
    EXPECT_EQ(ActionRegistry::shared().getAvailableActions(
                  QStringLiteral("file:///Applications/Visual%20Studio%20Code.app/")),
              (QStringList{QStringLiteral("open_app"), QStringLiteral("open_in_ide")}));
    EXPECT_EQ(ActionRegistry::shared().getAvailableActions(kMail), QStringList{QStringLiteral("open_app")});
}

TEST_F(SwitchingStore, ActionManagerSetsRemovesAndCleansUp) {
    const DockPresetPtr preset = makePreset(QStringLiteral("A"), {kSafari, kMail});
    ActionManager& actions = ActionManager::shared();
    actions.setAction(*preset, kSafari, OpenAppAction(), context());
    actions.setAction(*preset, kMail, OpenInIDEAction(QStringLiteral("/p")), context());
    EXPECT_TRUE(actions.hasCustomAction(*preset, kSafari));
    EXPECT_EQ(actions.getAction(*preset, kMail)->type(), QStringLiteral("open_in_ide"));

    actions.cleanupOrphanedActions(*preset, {kMail}, context());
    EXPECT_FALSE(actions.hasCustomAction(*preset, kSafari));
    actions.removeAction(*preset, kMail, context());
    EXPECT_FALSE(preset->appActions().has_value());

    QJsonObject mixed{{kSafari, OpenAppAction().record()},
                      {kMail, QJsonObject{{"actionType", "open_in_ide"}, {"configuration", "!!"}}},
                      {QStringLiteral("x"), 42}};
    preset->setAppActions(QString::fromUtf8(QJsonDocument(mixed).toJson()));
    actions.cleanupCorruptedActions(*preset, context());
    EXPECT_EQ(ActionManager::decodeActions(preset->appActions()).keys(), QStringList{kSafari});

    // Unreadable text reads as no actions, says why, and is cleared by the clean-up.
    logs.clear();
    preset->setAppActions(QStringLiteral("{\"broken\":"));
    EXPECT_FALSE(logs.printedContaining(QStringLiteral("Failed to decode appActions JSON: ")));
    EXPECT_FALSE(actions.getAction(*preset, kSafari));
    EXPECT_TRUE(logs.printedContaining(QStringLiteral("Failed to decode appActions JSON: ")));
    actions.cleanupCorruptedActions(*preset, context());
    EXPECT_FALSE(preset->appActions().has_value());
}

TEST_F(SwitchingStore, ActionRunSkipsSpacersAndCountsNothingWithoutRecords) {
    const QString custom = home.file(QStringLiteral("Library/Application Support/Pierline/CustomSpaces/Gap.app/"));
    const DockPresetPtr plain = makePreset(QStringLiteral("Plain"), {kMail});
    const DockPresetPtr spaced = makePreset(
        QStringLiteral("Spaced"), {QStringLiteral("pierline-spacer-1"), QUrl::fromLocalFile(custom).toString()});
    ActionManager::shared().setAction(*spaced, QStringLiteral("pierline-spacer-1"), OpenAppAction(), context());
    ActionManager::shared().setAction(*spaced, QUrl::fromLocalFile(custom).toString(), OpenAppAction(), context());

    const auto none =
        offMain([] { return AppActionExecutor::executeActionsForPreset(QStringLiteral("Plain"), {kMail}); });
    EXPECT_EQ(none.executed, 0);
    EXPECT_EQ(none.processed, 1);
    // Every group announces itself, even an empty one, and the summary follows in its order.
    const QStringList expected{
        QStringLiteral("\n--- EXECUTING APP ACTIONS (PARALLEL) ---"),
        QStringLiteral("\n📱 Executing simple app actions in parallel..."),
        QStringLiteral("\n🖥️ Executing IDE actions in parallel..."),
        QStringLiteral("\n🌐 Executing browser profile switches..."),
        QStringLiteral("\n--- ACTION EXECUTION COMPLETE ---"),
        QStringLiteral("✅ Actions executed: 0"),
        QStringLiteral("  • Browser profiles: 0"),
        QStringLiteral("  • Open app actions: 0"),
        QStringLiteral("  • IDE actions: 0"),
        QStringLiteral("📱 Total apps processed: 1"),
    };
    QStringList printed = logs.plainLines();
    printed = printed.mid(printed.indexOf(expected.first()));
    EXPECT_EQ(printed, expected);

    logs.clear();
    const QStringList entries = decodeApps(spaced->apps());
    const auto skipped =
        offMain([entries] { return AppActionExecutor::executeActionsForPreset(QStringLiteral("Spaced"), entries); });
    EXPECT_EQ(skipped.openApps, 0);
    EXPECT_EQ(skipped.processed, 0);
    EXPECT_TRUE(logs.printed(QStringLiteral("  [1] Spacer - [SPACER] Skipped")));
    EXPECT_TRUE(logs.printed(QStringLiteral("  [2] Gap - [CUSTOM SPACE] Skipped")));
    EXPECT_TRUE(logs.printed(QStringLiteral("  • Open app actions: 0")));

    logs.clear();
    offMain([] { return AppActionExecutor::executeActionsForPreset(QStringLiteral("Nope"), {}); });
    EXPECT_TRUE(logs.printed(QStringLiteral("❌ Could not find preset 'Nope' for action execution")));
}

TEST_F(SwitchingStore, BrowserProfilesLaunchByFamily) {
    const QString record = home.file(QStringLiteral("browser-args.txt"));
    const QStringList conf{QStringLiteral("record=") + record};
    const QString arc = apps->makeApp(QStringLiteral("Arc"), QStringLiteral("company.thebrowser.Browser"), {}, conf);
    const QString opera = apps->makeApp(QStringLiteral("Opera"), QStringLiteral("com.operasoftware.Opera"), {}, conf);
    const QString firefox = apps->makeApp(QStringLiteral("Firefox"), QStringLiteral("org.mozilla.firefox"), {}, conf);
    const QString safari = apps->makeApp(QStringLiteral("Safari"), QStringLiteral("com.apple.Safari"));
    const QString other = apps->makeApp(QStringLiteral("Netscape"), QStringLiteral("com.example.netscape"));
    const QJsonObject profile =
        OpenBrowserProfileAction(QStringLiteral("Profile 2"), QStringLiteral("Work"), true).record();
    auto run = [&](const QString& bundle, const QJsonObject& r = {}) {
        const QJsonObject rec = r.isEmpty() ? profile : r;
        return offMain(
            [bundle, rec] { return AppActionExecutor::executeOpenBrowserProfileAction(entryFor(bundle), rec); });
    };

    const qint64 oldArc = apps->launch(arc);
    EXPECT_FALSE(run(arc).has_value());
    EXPECT_TRUE(RunningApps::waitUntil(
        [&] { return readFile(record).contains(QStringLiteral("--profile-directory=Profile 2")); }));
    EXPECT_FALSE(apps->running(oldArc));
    EXPECT_TRUE(logs.printed(QStringLiteral("     ✅ Successfully launched Chromium browser with profile 'Work'")));

    EXPECT_FALSE(run(opera).has_value());
    EXPECT_TRUE(
        RunningApps::waitUntil([&] { return readFile(record).contains(QStringLiteral("--user-data-dir=Profile 2")); }));

    EXPECT_FALSE(run(firefox).has_value());
    EXPECT_TRUE(RunningApps::waitUntil([&] { return readFile(record).contains(QStringLiteral("-P\tProfile 2")); }));

    // No scripting host here: Safari opens normally instead.
    EXPECT_FALSE(run(safari).has_value());
    EXPECT_TRUE(logs.printedContaining(QStringLiteral("     ⚠️ Safari profile launch failed, opening normally: ")));
    EXPECT_TRUE(RunningApps::waitUntil([&] { return apps->appsFrom(safari).size() == 1; }));

    const auto unsupported = run(other);
    ASSERT_TRUE(unsupported.has_value());
    EXPECT_EQ(unsupported->message, QStringLiteral("Unsupported browser type"));

    const auto invalid = run(
        arc, QJsonObject{{"actionType", "open_browser_profile"},
                         {"configuration",
                          QString::fromLatin1(QByteArray(R"({"profileDirectory":"","profileName":"x"})").toBase64())}});
    ASSERT_TRUE(invalid.has_value());
    EXPECT_EQ(invalid->kind, ActionExecutionError::Kind::InvalidConfiguration);
    EXPECT_TRUE(logs.printed(QStringLiteral("     ❌ Invalid browser profile configuration")));

    const auto missing = offMain([&] {
        return AppActionExecutor::executeOpenBrowserProfileAction(QStringLiteral("file:///nowhere/Arc.app/"), profile);
    });
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->kind, ActionExecutionError::Kind::AppNotFound);
}

TEST_F(SwitchingStore, ActionListingNamesWhatWillRun) {
    const DockPresetPtr preset =
        makePreset(QStringLiteral("A"), {kSafari, QStringLiteral("pierline-small-spacer-1"), kMail});
    ActionManager::shared().setAction(*preset, kMail, OpenAppAction(), context());
    AppActionExecutor::logActions(QStringLiteral("A"), decodeApps(preset->apps()));
    const QStringList expected{
        QStringLiteral("\n--- APP ACTION LOGGING ---"),
        QStringLiteral("Preset: A"),
        QStringLiteral("Checking actions for 3 apps:"),
        QStringLiteral("  [1] Safari - ➡️ NO ACTION: Will only be added to dock"),
        QStringLiteral("     Description: App will be placed in dock but not opened/executed"),
        QStringLiteral("  [2] Small Spacer - [SPACER] No action needed"),
        QStringLiteral("  [3] Mail - ⚙️ ACTION CONFIGURED: Will execute action when preset applies"),
        QStringLiteral("     Description: Custom behavior will run for this app"),
        QStringLiteral("--- END ACTION LOGGING ---\n"),
    };
    QStringList printed = logs.plainLines();
    printed = printed.mid(printed.indexOf(expected.first()));
    EXPECT_EQ(printed, expected);
}
