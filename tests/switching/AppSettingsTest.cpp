#include "switching/AppSettings.h"

#include "core/SettingDescriptors.h"
#include "platform/UserDefaults.h"
#include "support/CapturingLogSink.h"
#include "support/EventLoop.h"
#include "support/FakeAppShell.h"
#include "support/FakeLoginItem.h"
#include "support/TempHome.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

// Records every call a setting makes on the services outside the settings.
class RecordingEffects : public SettingsEffects {
public:
    void startLockDockMonitoring() override { calls.append("start"); }
    void stopLockDockMonitoring() override { calls.append("stop"); }
    void changeLockedDisplay(const QString& uuid) override { calls.append("change " + uuid); }
    void relocateDockToLockedDisplay() override { calls.append("relocate"); }
    void stopHarborletPeriodicRefresh() override { calls.append("stopRefresh"); }
    void copyHotkeyTimings(double scope, double multi) override {
        calls.append(QString("timings %1 %2").arg(scope).arg(multi));
    }
    QStringList calls;
};

UserDefaults& defaults() {
    return UserDefaults::standard();
}

class AppSettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<AppSettings> load() { return std::make_unique<AppSettings>(effects); }

    TempHome home;
    FakeAppShell shell;
    FakeLoginItem loginItem;
    std::shared_ptr<RecordingEffects> effects = std::make_shared<RecordingEffects>();
};

} // namespace

TEST_F(AppSettingsTest, FreshInstallWritesOnlyUseDockutil) {
    const auto settings = load();
    EXPECT_TRUE(settings->useDockutil());
    EXPECT_EQ(defaults().dictionaryRepresentation(), (QVariantMap{{"useDockutil", true}}));
}

TEST_F(AppSettingsTest, StoredFalseAndZeroAreKeptButValuesOfTheWrongTypeFallBackToTheDefaults) {
    defaults().set("useDockutil", false);
    defaults().set("lastContextAutoCloseSeconds", 0.0);
    defaults().set("multiPressWindowMs", 0.5);
    defaults().set("scopeTimeoutSeconds", qint64(7)); // an integer is still a number
    auto settings = load();
    EXPECT_FALSE(settings->useDockutil());
    EXPECT_EQ(defaults().object("useDockutil"), QVariant(false));
    EXPECT_DOUBLE_EQ(settings->lastContextAutoCloseSeconds(), 0.0);
    EXPECT_DOUBLE_EQ(settings->multiPressWindowMs(), 0.5); // seconds, not milliseconds
    EXPECT_DOUBLE_EQ(settings->scopeTimeoutSeconds(), 7.0);

    defaults().set("showScopeModeIndicator", QString("no"));
    defaults().set("scopeTimeoutSeconds", QString("fast"));
    defaults().set("lastContextAutoCloseSeconds", true);
    defaults().set("excludedPresetIds", QVariantList{QString("A"), qint64(3)});
    defaults().set("appMode", QVariantList{});
    settings = load();
    EXPECT_TRUE(settings->showScopeModeIndicator());
    EXPECT_DOUBLE_EQ(settings->scopeTimeoutSeconds(), 3.0);
    EXPECT_DOUBLE_EQ(settings->lastContextAutoCloseSeconds(), 30.0);
    EXPECT_TRUE(settings->excludedPresetIds().isEmpty());
    EXPECT_EQ(settings->appMode(), "menuBarOnly");
    // The stored values stay until the setting is next changed.
    EXPECT_EQ(defaults().object("scopeTimeoutSeconds"), QVariant(QString("fast")));
    settings->setScopeTimeoutSeconds(2.5);
    EXPECT_EQ(defaults().object("scopeTimeoutSeconds"), QVariant(2.5));
}

// Background readers go through readSetting, the settings object through its own load: for any
// stored value both must agree, and a damaged file gives every reader the defaults.
TEST_F(AppSettingsTest, ReadersOnOtherThreadsSeeWhatTheSettingsObjectSees) {
    const auto check = [&](const char* what) {
        const auto settings = load();
        for (const SettingDescriptor& d : settingDescriptors()) {
            EXPECT_EQ(settingDescriptor(d.id).key, d.key); // the table follows the enum
            EXPECT_EQ(readSetting(d.id), settings->value(d.key)) << what << " " << d.key.toStdString();
        }
    };
    check("fresh");
    for (const SettingDescriptor& d : settingDescriptors()) {
        const bool isBool = d.type == SettingType::Bool;
        defaults().set(d.key, isBool ? QVariant(QString("YES")) : QVariant(QVariantList{qint64(1)}));
    }
    check("wrong types");
    EXPECT_TRUE(readBoolSetting(Setting::CloseOtherApps)); // the plain getter reads "YES" as true
    EXPECT_FALSE(readBoolSetting(Setting::SkipApplyIfSamePreset));
    EXPECT_DOUBLE_EQ(readDoubleSetting(Setting::MultiPressWindowMs), 0.5);
    for (const SettingDescriptor& d : settingDescriptors()) {
        const QVariant stored = d.type == SettingType::Bool     ? QVariant(!d.defaultValue.toBool())
                                : d.type == SettingType::Double ? QVariant(d.defaultValue.toDouble() + 1)
                                : d.type == SettingType::String ? QVariant(QString("x"))
                                                                : QVariant(QStringList{"a", "b"});
        defaults().set(d.key, stored);
    }
    check("stored");
    EXPECT_EQ(readStringListSetting(Setting::ExcludedPresetIds), (QStringList{"a", "b"}));

    CapturingLogSink log;
    home.write("Library/Preferences/com.corvane.pierline.plist", "<?xml version=\"1.0\"?><plist><dict><key>closeO");
    for (const SettingDescriptor& d : settingDescriptors())
        EXPECT_EQ(readSetting(d.id), d.defaultValue) << d.key.toStdString();
}

TEST_F(AppSettingsTest, LoadingRunsNoChangeEffect) {
    defaults().set("lockDockEnabled", true);
    defaults().set("lockDockDisplayUUID", QString("DISPLAY-1"));
    defaults().set("integrateWithHarborlet", false);
    defaults().set("launchAtLogin", true);
    defaults().set("appMode", QString("dockAppOnly"));
    defaults().set("menuBarLogo", QString("dark-logo"));
    home.makeBundle("Applications", "PierlineHelper", "com.corvane.PierlineHelper");
    const auto settings = load();
    drainMainQueue();
    EXPECT_TRUE(settings->lockDockEnabled());
    EXPECT_TRUE(settings->launchAtLogin());
    EXPECT_EQ(settings->appMode(), "dockAppOnly");
    EXPECT_TRUE(effects->calls.isEmpty());
    EXPECT_TRUE(loginItem.calls.isEmpty());
    EXPECT_EQ(shell.changes + shell.refreshes, 0);
}

TEST_F(AppSettingsTest, SettersWriteThroughAtOnceAndAnnounceTheChangeGenericSetChecksTypesAndFailedWritesThrow) {
    const auto settings = load();
    QStringList announced;
    bool writtenBeforeAnnounced = false;
    QObject::connect(settings.get(), &AppSettings::settingChanged, [&](const QString& key) {
        announced.append(key);
        writtenBeforeAnnounced = defaults().contains(key);
    });
    EXPECT_FALSE(settings->setValue("noSuchSetting", true));
    EXPECT_FALSE(settings->setValue("closeOtherApps", QString("true")));
    EXPECT_FALSE(settings->setValue("scopeTimeoutSeconds", QString("2")));
    EXPECT_FALSE(settings->setValue("excludedApps", QVariantList{qint64(1)}));
    EXPECT_FALSE(defaults().contains("closeOtherApps"));
    settings->setCloseOtherApps(true);
    settings->setExcludedPresetIds({"A-1", "B-2"});
    EXPECT_TRUE(defaults().boolForKey("closeOtherApps"));
    EXPECT_EQ(defaults().stringArray("excludedPresetIds"), (QStringList{"A-1", "B-2"}));
    EXPECT_EQ(announced, (QStringList{"closeOtherApps", "excludedPresetIds"}));
    EXPECT_TRUE(writtenBeforeAnnounced);
    EXPECT_EQ(load()->excludedPresetIds(), (QStringList{"A-1", "B-2"})); // a new instance sees them

    EXPECT_TRUE(settings->setValue("scopeTimeoutSeconds", qint64(4)));
    EXPECT_DOUBLE_EQ(settings->scopeTimeoutSeconds(), 4.0);
    EXPECT_TRUE(settings->setValue("excludedApps", QVariantList{QString("/A.app")}));
    EXPECT_EQ(settings->excludedApps(), QStringList{"/A.app"});

    // A write that fails throws; the value, the announcement and the effects stay as they were.
    announced.clear();
    effects->calls.clear();
    QFile::remove(UserDefaults::lockFilePath(defaults().filePath()));
    ASSERT_TRUE(QDir().mkpath(UserDefaults::lockFilePath(defaults().filePath())));
    EXPECT_THROW(settings->setLockDockEnabled(true), UserDefaultsError);
    EXPECT_THROW(settings->setValue("closeOtherApps", false), UserDefaultsError);
    EXPECT_FALSE(settings->lockDockEnabled());
    EXPECT_TRUE(settings->closeOtherApps());
    EXPECT_TRUE(announced.isEmpty());
    EXPECT_TRUE(effects->calls.isEmpty());
}

TEST_F(AppSettingsTest, AppModeIsAppliedAsynchronouslyAndUnknownModesFallBack) {
    CapturingLogSink log;
    const auto settings = load();
    settings->setAppMode("foo");
    EXPECT_EQ(shell.changes, 0); // not before the main queue runs
    EXPECT_EQ(settings->appMode(), "foo");
    EXPECT_EQ(defaults().string("appMode"), QString("foo"));
    struct Case {
        const char* mode;
        ActivationPolicy policy;
        bool statusItem;
    };
    for (const Case c : {Case{nullptr, ActivationPolicy::Accessory, true},
                         {"dockAppOnly", ActivationPolicy::Regular, false},
                         {"withDockIcon", ActivationPolicy::Regular, true},
                         {"menuBarOnly", ActivationPolicy::Accessory, true}}) {
        if (c.mode)
            settings->setAppMode(c.mode);
        drainMainQueue();
        EXPECT_EQ(shell.activationPolicy(), c.policy) << (c.mode ? c.mode : "foo");
        EXPECT_EQ(shell.isStatusItemVisible(), c.statusItem);
    }
    EXPECT_TRUE(log.logged("AppSettings: Unknown app mode, defaulting to menu bar only"));
    EXPECT_TRUE(log.logged("AppSettings: Changing to menu bar only mode"));
}

TEST_F(AppSettingsTest, SettingsWithEffectsOnTheMenuBarTheCompanionAndTheHotkeys) {
    const auto settings = load();
    settings->setMenuBarLogo("white-logo");
    settings->setShowScopeModeIndicator(false);
    settings->setHideHarborletCTA(true); // no effect
    settings->setIntegrateWithHarborlet(true);
    EXPECT_EQ(shell.refreshes, 0); // on the main queue
    drainMainQueue();
    EXPECT_EQ(shell.refreshes, 2);
    EXPECT_TRUE(effects->calls.isEmpty());
    // The companion refresh stops only when integration is turned off.
    settings->setIntegrateWithHarborlet(false);
    EXPECT_EQ(effects->calls, QStringList{"stopRefresh"});

    // Hotkey timings are copied to the advanced hotkey manager.
    effects->calls.clear();
    settings->setScopeTimeoutSeconds(4.5);
    settings->setMultiPressWindowMs(0.3);
    EXPECT_EQ(effects->calls, (QStringList{"timings 4.5 0.5", "timings 4.5 0.3"}));
    EXPECT_EQ(defaults().doubleValue("multiPressWindowMs"), 0.3);
    // The default effects hand the values to whatever manager registered.
    QList<QPair<double, double>> received;
    AppSettings::setAdvancedHotkeyTimingSink([&](double s, double m) { received.append({s, m}); });
    AppSettings plain;
    plain.setMultiPressWindowMs(0.8);
    AppSettings::setAdvancedHotkeyTimingSink({});
    EXPECT_EQ(received, (QList<QPair<double, double>>{{4.5, 0.8}}));
}

TEST_F(AppSettingsTest, LockDockFollowsTheEnabledFlagAndRelocatesOnlyForANewDisplayWhileOn) {
    const auto settings = load();
    settings->setLockDockDisplayUUID("DISPLAY-1"); // lock off: nothing to call
    drainMainQueue();
    EXPECT_TRUE(effects->calls.isEmpty());
    EXPECT_EQ(defaults().string("lockDockDisplayUUID"), QString("DISPLAY-1"));

    settings->setLockDockEnabled(true);
    settings->setLockDockDisplayUUID("DISPLAY-2");
    EXPECT_EQ(effects->calls, (QStringList{"start", "change DISPLAY-2"})); // relocation waits for the main queue
    drainMainQueue();
    EXPECT_EQ(effects->calls, (QStringList{"start", "change DISPLAY-2", "relocate"}));

    effects->calls.clear();
    settings->setLockDockDisplayUUID("DISPLAY-2");
    drainMainQueue();
    settings->setLockDockEnabled(false);
    EXPECT_EQ(effects->calls, (QStringList{"change DISPLAY-2", "stop"}));
}

TEST_F(AppSettingsTest, LoginItemIsLeftAloneWithoutTheHelperAndFollowsTheChoiceOnceItIsFound) {
    CapturingLogSink log;
    const auto settings = load();
    settings->setLaunchAtLogin(true);
    EXPECT_TRUE(loginItem.calls.isEmpty());
    EXPECT_TRUE(settings->launchAtLogin());
    EXPECT_TRUE(defaults().boolForKey("launchAtLogin"));
    EXPECT_TRUE(log.logged("Helper app not found with bundle ID: com.corvane.PierlineHelper"));

    // Found by its identifier anywhere under Applications. Once registered, the same choice again
    // changes nothing; turning it off unregisters once.
    home.makeBundle("Applications/Utilities", "Pierline Login", "com.corvane.PierlineHelper");
    for (const bool on : {true, true, false, false})
        settings->setLaunchAtLogin(on);
    EXPECT_EQ(loginItem.calls, (QStringList{"status", "register", "status", "status", "unregister", "status"}));
}

TEST_F(AppSettingsTest, FailedRegistrationKeepsTheChoiceAndTriesTheFallbackAndFailedUnregistrationIsLogged) {
    CapturingLogSink log;
    home.makeBundle("Applications", "PierlineHelper", "com.corvane.PierlineHelper");
    loginItem.registerError = LoginItemError{"LoginItemDomain", 7, "Operation not permitted", "{path = /x}"};
    const auto settings = load();
    settings->setLaunchAtLogin(true);

    EXPECT_TRUE(settings->launchAtLogin());
    EXPECT_TRUE(defaults().boolForKey("launchAtLogin"));
    EXPECT_EQ(loginItem.calls, (QStringList{"status", "register", "launchServices"}));
    EXPECT_TRUE(log.logged("Failed to register login item: Operation not permitted"));
    EXPECT_TRUE(log.logged("Successfully registered URL with Launch Services"));

    log.clear();
    loginItem.launchServicesSucceeds = false;
    settings->setLaunchAtLogin(true);
    EXPECT_TRUE(log.logged("Failed to register URL with Launch Services"));

    loginItem.setStatus(LoginItem::Status::Enabled);
    loginItem.unregisterError = LoginItemError{"LoginItemDomain", 1, "Permission denied", "{}"};
    settings->setLaunchAtLogin(false);
    EXPECT_TRUE(log.logged("Failed to unregister login item: Permission denied"));
    EXPECT_FALSE(settings->launchAtLogin());
}
