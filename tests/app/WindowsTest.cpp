// The program's windows as widgets on the offscreen platform: the main window's preset list and
// Apply, the kept frames, the settings form over its ranges.
#include "support/EventLoop.h"
#include "support/FakeAlertPresenter.h"
#include "support/TempHome.h"

#include "app/MenuBarManager.h"
#include "app/ui/QtAppShell.h"
#include "core/PresetRecord.h"
#include "platform/ModifierMonitor.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "triggers/SwitchRequest.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::setSharedOptions({.monitorNetwork = false, .networkMonitorFactory = {}});
        presets = &DockPresetManager::shared();
        for (const DockPresetPtr& preset : presets->fetchAllPresets())
            presets->deletePreset(*preset->id());
        SwitchRequester::shared().setApplierForTesting(
            [this](const PresetSnapshot& preset, SwitchOrigin) { applied.append(preset.name); });
        shell = std::make_unique<QtAppShell>();
        AppShell::setShared(shell.get());
        menuBar = std::make_unique<MenuBarManager>([this](const QUuid& id) -> std::optional<StoredShortcut> {
            const auto found = shortcuts.constFind(id);
            return found == shortcuts.cend() ? std::nullopt : std::optional<StoredShortcut>(*found);
        });
        MenuBarManager::setCurrent(menuBar.get());
        menuBar->setViewContext(&presets->context());
    }
    void TearDown() override {
        MenuBarManager::setCurrent(nullptr);
        menuBar.reset();
        AppShell::setShared(nullptr);
        shell.reset();
        SwitchRequester::shared().setApplierForTesting({});
        drainMainQueue();
        DockPresetManager::resetSharedForTesting();
    }

    template <typename T> T* find(const QString& window, const QString& name) {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == window && top->isVisible())
                return top->findChild<T*>(name);
        return nullptr;
    }
    QWidget* topLevel(const QString& window) {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == window && top->isVisible())
                return top;
        return nullptr;
    }

    TempHome home;
    FakeAlertPresenter alerts;
    DockPresetManager* presets = nullptr;
    QHash<QUuid, StoredShortcut> shortcuts;
    QStringList applied;
    std::unique_ptr<QtAppShell> shell;
    std::unique_ptr<MenuBarManager> menuBar;
};

TEST_F(Windows, TheMainWindowListsPresetsWithTheirShortcutsAndAppliesTheChosenOne) {
    const DockPresetPtr work = presets->createPreset("Work", encodeApps({}));
    presets->createPreset("Play", encodeApps({}));
    shortcuts.insert(*work->id(), {Key::one, kCocoaCommandFlag | kCocoaOptionFlag});
    menuBar->showMainWindow();
    auto* list = find<QListWidget>(kMainWindowName, "presetList");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "Work  ⌘⌥1");
    EXPECT_EQ(list->item(1)->text(), "Play");
    EXPECT_EQ(topLevel(kMainWindowName)->windowTitle(), "Pierline");

    list->setCurrentRow(1);
    find<QPushButton>(kMainWindowName, "apply")->click();
    EXPECT_EQ(applied, QStringList({"Play"}));
    // From the keyboard: Return on the list applies the current row.
    list->setCurrentRow(0);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(list, &enter);
    EXPECT_EQ(applied, QStringList({"Play", "Work"}));

    // A new preset shows once it is saved.
    presets->createPreset("Late", encodeApps({}));
    drainMainQueue();
    EXPECT_EQ(list->count(), 3);
}

TEST_F(Windows, FramesAreKeptInOurDomainAndClosingTheMainWindowKeepsIt) {
    menuBar->showMainWindow();
    QWidget* main = topLevel(kMainWindowName);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->size(), QSize(800, 600));
    main->setGeometry(40, 50, 820, 610);
    main->close();
    EXPECT_TRUE(shell->hasWindow(kMainWindowName));
    EXPECT_FALSE(shell->isWindowVisible(kMainWindowName));
    const auto stored = UserDefaults::standard().string("NSWindow Frame MainAppWindow");
    ASSERT_TRUE(stored.has_value());
    EXPECT_TRUE(stored->startsWith("40 50 820 610")) << stored->toStdString();

    // A new app puts the window where it was.
    MenuBarManager::setCurrent(nullptr);
    shell = std::make_unique<QtAppShell>();
    AppShell::setShared(shell.get());
    MenuBarManager::setCurrent(menuBar.get());
    menuBar->showMainWindow();
    EXPECT_EQ(topLevel(kMainWindowName)->geometry(), QRect(40, 50, 820, 610));
}

TEST_F(Windows, TheSettingsFormWritesWhatItsControlsSay) {
    menuBar->showSettings();
    QWidget* settings = topLevel(kSettingsWindowName);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->windowTitle(), "Pierline Settings");
    EXPECT_EQ(settings->minimumSize(), QSize(850, 850));
    auto* scope = find<QSlider>(kSettingsWindowName, "scopeTimeoutSeconds");
    ASSERT_NE(scope, nullptr);
    // 1.0 to 10.0 s in steps of 0.5.
    EXPECT_EQ(scope->maximum() - scope->minimum(), 18);
    scope->setValue(scope->maximum());
    EXPECT_EQ(UserDefaults::standard().doubleValue("scopeTimeoutSeconds"), 10.0);
    auto* multiPress = find<QSlider>(kSettingsWindowName, "multiPressWindowMs");
    ASSERT_NE(multiPress, nullptr);
    EXPECT_EQ(multiPress->maximum() - multiPress->minimum(), 8); // 0.2 to 1.0 s in steps of 0.1
    auto* indicator = find<QCheckBox>(kSettingsWindowName, "showScopeModeIndicator");
    ASSERT_NE(indicator, nullptr);
    indicator->setChecked(!indicator->isChecked());
    EXPECT_EQ(UserDefaults::standard().boolValue("showScopeModeIndicator"), indicator->isChecked());
    EXPECT_NE(find<QListWidget>(kSettingsWindowName, "savedContextList"), nullptr);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
