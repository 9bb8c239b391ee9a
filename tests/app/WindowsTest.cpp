// The program's windows as widgets on the offscreen platform: the main window's preset list and
// Apply, the kept frames, the settings form over its ranges.
#include "support/EventLoop.h"
#include "support/FakeAlertPresenter.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"

#include "app/MenuBarManager.h"
#include "app/ui/QtAppShell.h"
#include "core/PresetRecord.h"
#include "exchange/BackupExport.h"
#include "platform/ModifierMonitor.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "triggers/SwitchRequest.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTimer>
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

// The import wizard's window over a backup file: the file is picked in the window's own dialog,
// the preview follows the wizard on the injected timers, and only the chosen presets land.
class ImportWindow : public Windows {
protected:
    QWidget* openWizard() {
        menuBar->openImportWizard();
        return topLevel(kImportWizardWindowName);
    }
    // Clicks Choose File and answers the file dialog it opens with `path`.
    void choose(const QString& path) {
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                answer.stop();
                dialog->selectFile(path);
                static_cast<QDialog*>(dialog)->accept(); // the file dialog checks the pick
            }
        });
        answer.start(0);
        find<QPushButton>(kImportWizardWindowName, "chooseFile")->click();
    }
    int step() { return find<QStackedWidget>(kImportWizardWindowName, "importSteps")->currentIndex(); }
    QStringList names() {
        QStringList out;
        for (const DockPresetPtr& preset : presets->fetchAllPresets())
            out.append(preset->name().value_or(QString()));
        return out;
    }

    VirtualTime time;
};

TEST_F(ImportWindow, WalksABackupFromFileToStoreAndImportsOnlyWhatIsChosen) {
    const QString projects = home.file("Projects");
    QDir().mkpath(projects);
    const DockPresetPtr work = presets->createPreset("Work", encodeApps({}));
    presets->addFolderStack(work, projects);
    presets->addURL(work, "https://example.com/", "Example");
    presets->createPreset("Play", encodeApps({}));
    ExportDocument document = ExportDocument::forPresets(presets->fetchAllPresets());
    document.includeFolders = true;
    const QString backup = home.file("backup.json");
    writeExportFile(backup, document.data());
    for (const DockPresetPtr& preset : presets->fetchAllPresets())
        presets->deletePreset(*preset->id());

    ASSERT_NE(openWizard(), nullptr);
    EXPECT_EQ(step(), 0);
    choose(backup);
    EXPECT_EQ(step(), 0) << "the preview comes half a second after the file";
    time.timers.advanceAndFire(0.6);
    ASSERT_EQ(step(), 1);
    auto* list = find<QListWidget>(kImportWizardWindowName, "importPresetList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "Work  (0 missing)");
    EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
    list->item(1)->setCheckState(Qt::Unchecked); // Play stays out

    find<QPushButton>(kImportWizardWindowName, "next")->click();
    ASSERT_EQ(step(), 2);
    EXPECT_EQ(find<QLabel>(kImportWizardWindowName, "importSummary")->text(),
              "Presets to import: 1\nTotal apps: 0\nTotal items: 2");
    find<QPushButton>(kImportWizardWindowName, "import")->click();
    ASSERT_FALSE(alerts.messages.empty());
    EXPECT_EQ(alerts.messages.back().messageText, "Import Successful");
    EXPECT_EQ(topLevel(kImportWizardWindowName), nullptr) << "the wizard closes once it imported";

    EXPECT_EQ(names(), QStringList{"Work"});
    const DockPresetPtr imported = presets->fetchPreset(QString("Work"));
    ASSERT_TRUE(imported);
    QStringList items;
    for (const DockFolderStackPtr& item : imported->folderStacksArray())
        items.append((item->effectiveType() == "url" ? item->url() : item->path()).value_or(QString()));
    EXPECT_EQ(items, (QStringList{projects, "https://example.com/"})) << items.join(" ").toStdString();
}

TEST_F(ImportWindow, ABrokenBackupShowsItsErrorAndChangesNothing) {
    presets->createPreset("Work", encodeApps({}));
    const QString broken = home.write("broken.json", "{\"presets\": [ {\"name\": ");
    const QString empty = home.write("empty.json", "[]");
    ASSERT_NE(openWizard(), nullptr);
    choose(broken);
    time.timers.advanceAndFire(0.6);
    EXPECT_EQ(step(), 0);
    const QString error = find<QLabel>(kImportWizardWindowName, "importError")->text();
    EXPECT_TRUE(error.startsWith("Failed to load presets: ")) << error.toStdString();
    choose(empty);
    time.timers.advanceAndFire(0.6);
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(find<QLabel>(kImportWizardWindowName, "importError")->text(),
              "No valid presets found in the selected file.");
    EXPECT_EQ(names(), QStringList{"Work"});
    EXPECT_TRUE(alerts.messages.empty());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
