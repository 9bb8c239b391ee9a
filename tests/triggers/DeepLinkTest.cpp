// pierline:// links in-process: how a link's text is read, what each action does on a real store,
// and the guard between switches on virtual time with real applies on a sandbox home.
#include "support/CapturingLogSink.h"
#include "support/EventLoop.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"

#include "app/Sandbox.h"
#include "apply/DockManager.h"
#include "core/PresetRecord.h"
#include "dock/DockReader.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "triggers/DeepLinks.h"
#include "triggers/SwitchRequest.h"

#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

TEST(DeepLinkText, SchemeAndHostAreReadAsWritten) {
    EXPECT_EQ(rawScheme("PIERLINE://switch"), "PIERLINE");
    EXPECT_EQ(rawScheme("pierline://switch"), "pierline");
    EXPECT_FALSE(rawScheme("://switch"));
    EXPECT_FALSE(rawScheme("1pierline://switch"));
    EXPECT_EQ(rawHost("pierline://Switch?id=1"), "Switch");
    EXPECT_EQ(rawHost("pierline://switch/extra?id=1#top"), "switch");
    EXPECT_EQ(rawHost("pierline://user@open:80"), "open");
    EXPECT_FALSE(rawHost("pierline://?name=Work"));
    EXPECT_FALSE(rawHost("pierline:switch?name=Work"));
    EXPECT_FALSE(rawHost("pierline://"));
}

TEST(DeepLinkText, SwitchQueryPrefersTheFirstIdAndDecodesTheNameOnceMore) {
    const QString id = "6f0c2b1e-1234-4abc-8def-0123456789ab";
    const auto byId = parseSwitchQuery("pierline://switch?id=" + id + "&name=Work");
    ASSERT_TRUE(byId);
    EXPECT_EQ(byId->id, QUuid::fromString(id));
    EXPECT_FALSE(byId->name);
    EXPECT_EQ(parseSwitchQuery("pierline://switch?id=" + id.toUpper())->id, QUuid::fromString(id));

    // Only the first "id" counts; a bad one falls back to the name.
    for (const QString& link :
         QStringList{"pierline://switch?id=garbage&name=Work", "pierline://switch?id=&name=Work",
                     "pierline://switch?id&name=Work", "pierline://switch?id=garbage&id=" + id + "&name=Work",
                     "pierline://switch?id=%7B" + id + "%7D&name=Work"}) {
        const auto query = parseSwitchQuery(link);
        ASSERT_TRUE(query) << link.toStdString();
        EXPECT_FALSE(query->id) << link.toStdString();
        EXPECT_EQ(query->name, "Work") << link.toStdString();
    }
    EXPECT_EQ(parseSwitchQuery("pierline://switch?name=My%2520Preset")->name, "My Preset");
    EXPECT_EQ(parseSwitchQuery("pierline://switch?name=Caf%25C3%25A9+Time")->name, QString::fromUtf8("Café+Time"));
    // Undecodable or empty after the second decoding, or only in a later item: missing.
    for (const QString& link : QStringList{"pierline://switch", "pierline://switch?name=", "pierline://switch?name=%25",
                                           "pierline://switch?name=%25zz", "pierline://switch?name=%25C3",
                                           "pierline://switch?name=&name=Work", "pierline://switch?Name=Work"})
        EXPECT_TRUE(parseSwitchQuery(link)->empty()) << link.toStdString();
    EXPECT_FALSE(parseSwitchQuery("pierline://switch?name=a b"));
}

TEST(DeepLinkText, ImportNeedsAnAbsoluteUrlInTheFirstUrlItem) {
    EXPECT_EQ(parseImportQuery("pierline://import?url=https%3A%2F%2Fexample.test%2Fp.json"),
              QUrl("https://example.test/p.json"));
    EXPECT_EQ(parseImportQuery("pierline://import?url=http://127.0.0.1:8080/a.json&url=x"),
              QUrl("http://127.0.0.1:8080/a.json"));
    for (const QString& link :
         QStringList{"pierline://import", "pierline://import?url=", "pierline://import?url=p.json",
                     "pierline://import?href=https://example.test/p.json"})
        EXPECT_FALSE(parseImportQuery(link)) << link.toStdString();
}

// A store with two presets; switches are recorded instead of applied.
class DeepLinks : public ::testing::Test {
protected:
    void SetUp() override {
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::setSharedOptions({.monitorNetwork = false, .networkMonitorFactory = {}});
        DockManager::shared().resetForTesting();
        work = DockPresetManager::shared().createPreset("Work", encodeApps({"file:///Applications/Mail.app/"}));
        play = DockPresetManager::shared().createPreset("Play", encodeApps({}));
        SwitchRequester::shared().setStarterForTesting(
            [this](const PresetSnapshot& preset, SwitchOrigin origin, Cooldown cooldown) {
                started.append(preset);
                EXPECT_EQ(origin, SwitchOrigin::DeepLink);
                EXPECT_EQ(cooldown, Cooldown::Keep);
                QPromise<ApplyHandle> done;
                done.start();
                done.addResult(ApplyHandle{});
                done.finish();
                return done.future();
            });
        logs.clear();
    }
    void TearDown() override {
        SwitchRequester::shared().setStarterForTesting({});
        drainMainQueue();
        DockPresetManager::resetSharedForTesting();
    }
    DeepLinkHandler handler(bool ready = true) {
        return DeepLinkHandler({[this](const QString& message) { shown.append(message); },
                                [this](const QUrl& url) { wizards.append(url); }, [this] { ++mainWindows; },
                                [ready] { return ready; }});
    }

    TempHome home;
    CapturingLogSink logs;
    DockPresetPtr work;
    DockPresetPtr play;
    QList<PresetSnapshot> started;
    QStringList shown;
    QList<QUrl> wizards;
    int mainWindows = 0;
};

TEST_F(DeepLinks, SwitchLinksApplyByIdOrNameWithTheirLogLines) {
    const QString byId = "pierline://switch?id=" + work->idString().toLower() + "&name=Play";
    const QString byName = "pierline://switch?name=Play";
    const QList<DeepLinkOutcome> outcomes = handler().openUrls({byId, byName});
    ASSERT_EQ(outcomes.size(), 2);
    ASSERT_EQ(started.size(), 2);
    EXPECT_EQ(started[0].name, "Work");
    EXPECT_EQ(started[0].apps, QStringList{"file:///Applications/Mail.app/"});
    EXPECT_EQ(started[1].name, "Play");
    EXPECT_EQ(outcomes[0].kind, DeepLinkOutcome::Kind::Switching);
    EXPECT_TRUE(outcomes[0].apply.has_value());
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(logs.messages("AppDelegate"),
              (QStringList{"Received URL(s) to open: [" + byId + ", " + byName + "]",
                           "Processing Pierline deep link: " + byId, "Applying preset from deep link: Work",
                           "Processing Pierline deep link: " + byName, "Applying preset from deep link: Play"}));
}

TEST_F(DeepLinks, EveryRejectionShowsOneErrorAndStartsNothing) {
    const struct {
        QString link;
        QString message;
    } cases[] = {
        {"pierline://switch", "Missing preset identifier. Use ?id=<uuid> or ?name=<preset-name>"},
        {"pierline://switch?id=garbage", "Missing preset identifier. Use ?id=<uuid> or ?name=<preset-name>"},
        {"pierline://switch?name=a b", "Invalid switch link format"},
        {"pierline://Switch?id=" + work->idString(), "Unknown action: Switch"},
        {"pierline://", "Unknown action: unknown"},
        {"pierline://switch?id=0F0F0F0F-1111-2222-3333-444455556666", "Preset not found"},
        {"pierline://switch?name=work", "Preset 'work' not found"},
        {"pierline://import", "Invalid import link format"},
        {"pierline://import?url=not%20a%20url", "Invalid import link format"},
    };
    for (const auto& c : cases) {
        shown.clear();
        logs.clear();
        const QList<DeepLinkOutcome> outcomes = handler().openUrls({c.link});
        ASSERT_EQ(outcomes.size(), 1);
        EXPECT_EQ(outcomes[0].kind, DeepLinkOutcome::Kind::Rejected) << c.link.toStdString();
        EXPECT_EQ(outcomes[0].message, c.message);
        EXPECT_EQ(shown, QStringList{c.message}) << c.link.toStdString();
        EXPECT_EQ(logs.warningLines(), QStringList{c.message}) << c.link.toStdString();
        if (c.link == "pierline://") {
            EXPECT_TRUE(logs.logged("Unknown Pierline action: nil"));
        }
    }
    EXPECT_TRUE(started.isEmpty());
    EXPECT_TRUE(wizards.isEmpty());

    // A foreign link is one line, no box.
    shown.clear();
    logs.clear();
    const auto foreign = handler().openUrls({"https://example.test/?x=1", "PIERLINE://switch?name=Work"});
    EXPECT_EQ(foreign[0].kind, DeepLinkOutcome::Kind::Ignored);
    EXPECT_EQ(logs.warningLines(), (QStringList{"Ignoring non-Pierline URL: https://example.test/?x=1",
                                                "Ignoring non-Pierline URL: PIERLINE://switch?name=Work"}));
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(DeepLinks, UnreadableAppsAndAnUnreadyStoreAreRejected) {
    runOnMainSync([&] {
        work->setApps(QStringLiteral("{not a list"));
        DockPresetManager::shared().context().save();
    });
    handler().openUrls({"pierline://switch?name=Work"});
    EXPECT_EQ(shown, QStringList{"Failed to decode preset data"});
    shown.clear();
    handler(false).openUrls({"pierline://switch?id=" + play->idString()});
    EXPECT_EQ(shown, QStringList{"Application not ready"});
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(DeepLinks, ImportAndOpenReachTheirWindowsFromTheMainQueue) {
    const auto outcomes =
        handler().openUrls({"pierline://import?url=https%3A%2F%2Fexample.test%2Fp.json", "pierline://open"});
    EXPECT_EQ(outcomes[0].kind, DeepLinkOutcome::Kind::Import);
    EXPECT_EQ(outcomes[1].kind, DeepLinkOutcome::Kind::Open);
    EXPECT_TRUE(wizards.isEmpty()); // not before the main queue runs
    drainMainQueue();
    EXPECT_EQ(wizards, QList<QUrl>{QUrl("https://example.test/p.json")});
    EXPECT_EQ(mainWindows, 1);
    EXPECT_TRUE(logs.logged("Extracted download URL: https://example.test/p.json"));
    EXPECT_TRUE(logs.logged("Opening Pierline app via deep link"));
}

// Real applies on a sandbox home, on virtual time.
class DeepLinkGuard : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Sandbox::init(home.path(), true).ok);
        Clock::setShared(&clock);
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::setSharedOptions({.monitorNetwork = false, .networkMonitorFactory = {}});
        DockManager::shared().resetForTesting();
        UserDefaults::standard().set("useDockutil", false);
        DockPresetManager::shared().createPreset("A", encodeApps({}));
        DockPresetManager::shared().createPreset("B", encodeApps({"pierline-spacer-1"}));
    }
    void TearDown() override {
        drainMainQueue();
        DockPresetManager::resetSharedForTesting();
        Clock::setShared(nullptr);
    }
    // Opens one link and waits for the apply it started, if any.
    DeepLinkOutcome open(const QString& link) {
        DeepLinkHandler handler({[this](const QString& m) { shown.append(m); }, {}, {}, [] { return true; }});
        const DeepLinkOutcome outcome = handler.openUrls({link}).first();
        if (outcome.apply) {
            EXPECT_TRUE(waitFor(*outcome.apply, 30000));
            const ApplyHandle handle = outcome.apply->result();
            // Side effects hop to this thread: wait with its queue running.
            if (handle.closing) {
                EXPECT_TRUE(waitFor(*handle.closing));
            }
            if (handle.actions) {
                EXPECT_TRUE(waitFor(*handle.actions));
            }
        }
        return outcome;
    }
    double sinceLastApply() const {
        return static_cast<double>(DockManager::shared().lastApplyTime()->msecsTo(clock.now())) / 1000.0;
    }

    TempHome home;
    VirtualClock clock;
    QStringList shown;
};

TEST_F(DeepLinkGuard, ASecondSwitchWithinFourSecondsOfTheLastApplyWaits) {
    EXPECT_EQ(open("pierline://switch?name=A").kind, DeepLinkOutcome::Kind::Switching);
    ASSERT_TRUE(DockManager::shared().lastApplyTime());
    clock.advance(1.5 - sinceLastApply());
    const DeepLinkOutcome early = open("pierline://switch?name=B");
    EXPECT_EQ(early.kind, DeepLinkOutcome::Kind::Rejected);
    EXPECT_EQ(shown, QStringList{"Please wait 2.5 seconds before switching presets"});
    EXPECT_EQ(DockManager::shared().lastAppliedPresetName(), "A");

    clock.advance(4.0 - sinceLastApply());
    EXPECT_EQ(open("pierline://switch?name=B").apply->result().outcome, ApplyHandle::Outcome::Written);
    EXPECT_EQ(DockManager::shared().lastAppliedPresetName(), "B");
    EXPECT_EQ(DockReader::getDockApps(), QStringList{"pierline-spacer-1"});
    EXPECT_EQ(shown.size(), 1);
}

} // namespace
