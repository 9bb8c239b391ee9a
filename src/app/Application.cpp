#include "Application.h"

#include "app/AppDelegate.h"
#include "app/MenuBarManager.h"
#include "app/commands/PresetCommandSupport.h"
#include "app/instance/AppRequestRunner.h"
#include "app/instance/RunningApp.h"
#include "app/intents/IntentsBusService.h"
#include "app/links/LinkService.h"
#include "app/ui/LastContextPanel.h"
#include "app/ui/MessageBoxAlertPresenter.h"
#include "app/ui/QtAppShell.h"
#include "app/ui/QtDisplaySetWatcher.h"
#include "app/ui/QtDisplays.h"
#include "apply/DockManager.h"
#include "platform/Dispatch.h"
#include "platform/GraphicalDisplay.h"
#include "platform/Log.h"
#include "platform/TerminationRequest.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistenceController.h"
#include "store/StoreError.h"
#include "switching/AppSettings.h"
#include "switching/ContextSwitcher.h"
#include "switching/LastContextWindowManager.h"
#include "themes/ThemeManager.h"
#include "triggers/AdvancedHotkeyManager.h"
#include "triggers/ShortcutManager.h"
#include "triggers/SwitchRequest.h"

#include <QApplication>
#include <QCoreApplication>
#include <exception>
#include <memory>

namespace pierline {

namespace {

constexpr int kExitFailed = 1;

Application::Part instancePart() {
    auto app = std::make_shared<RunningApp>();
    // The lock comes first: a second instance must not open the store or run its migrations.
    return {QStringLiteral("instance"), [app] { return app->start(runRequestInApp); },
            [app] {
                app->shutDown();
                return true;
            }};
}

Application::Part storePart() {
    return {
        QStringLiteral("store"),
        []() -> std::optional<int> {
            // A store that cannot be used keeps the app up: it says "Database Error" and
            // refuses what needs presets. A failed load has posted the failure already.
            if (!cli::openPresetManager(cli::StoreUse::RunningApp) && PersistenceController::shared().isStoreReady())
                NotificationCenter::shared().postOnMainQueue(kCoreDataInitializationFailedNotification);
            return std::nullopt;
        },
        [] {
            try {
                DockPresetManager* manager = DockPresetManager::existing();
                if (!manager || !PersistenceController::shared().isStoreReady())
                    return true;
                ManagedObjectContext& context = manager->context();
                if (context.hasChanges())
                    context.save();
                return true;
            } catch (const StoreError& error) {
                printWarning(QStringLiteral("Could not save the preset store on quit: %1").arg(error.description()));
                return false;
            }
        }};
}

Application::Part settingsPart() {
    return {QStringLiteral("settings"),
            []() -> std::optional<int> {
                AppSettings::shared();
                return std::nullopt;
            },
            {}};
}

Application::Part hotkeysPart() {
    return {QStringLiteral("hotkeys"),
            []() -> std::optional<int> {
                // Stored key sequences, multi-presses and shortcuts work from launch; timing
                // changes reach the advanced manager here.
                AdvancedHotkeyManager::shared();
                AppSettings::setAdvancedHotkeyTimingSink([](double scopeTimeoutSeconds, double multiPressWindow) {
                    runOnMainSync(
                        [&] { AdvancedHotkeyManager::shared().updateSettings(scopeTimeoutSeconds, multiPressWindow); });
                });
                ShortcutManager::shared();
                return std::nullopt;
            },
            [] {
                ShortcutManager::resetShared();
                AppSettings::setAdvancedHotkeyTimingSink({});
                return true;
            }};
}

// Without a display no hotkey can be grabbed; each refusal is only logged, so say it once here.
Application::Part headlessHotkeysPart() {
    return {QStringLiteral("headless hotkeys note"),
            []() -> std::optional<int> {
                if (graphicalDisplayReachable())
                    return std::nullopt;
                const AdvancedHotkeyManager& advanced = AdvancedHotkeyManager::shared();
                // The shortcut manager loads its tables later on the main queue; the stored tables tell now.
                const UserDefaults& defaults = UserDefaults::standard();
                bool configured = !advanced.getAllConfigurations().empty() || advanced.getLeaderKey();
                for (const QString& table : {ShortcutManager::kPresetTableKey, ShortcutManager::kActionTableKey}) {
                    if (!readShortcutTable(defaults.object(table).value_or(QVariant())).isEmpty())
                        configured = true;
                }
                if (configured)
                    printWarning(QStringLiteral("Hotkeys are set but there is no display to grab them on; they work "
                                                "when Pierline runs in a desktop session (DISPLAY set)."));
                return std::nullopt;
            },
            [] { return true; }};
}

Application::Part lastContextPart() {
    auto holder = std::make_shared<std::unique_ptr<LastContextWindowManager>>();
    return {QStringLiteral("last context"),
            [holder]() -> std::optional<int> {
                // Without widgets the panels only record their state, so the commands still answer.
                FloatingPanelFactory panels = recordingPanelFactory();
                if (qobject_cast<QApplication*>(QCoreApplication::instance()))
                    panels = [holder](bool interactive) {
                        return std::make_unique<LastContextPanel>(interactive, **holder);
                    };
                *holder = std::make_unique<LastContextWindowManager>(AppSettings::shared(), DockPresetManager::shared(),
                                                                     std::move(panels));
                (*holder)->startObserving();
                LastContextWindowManager::setShared(holder->get());
                return std::nullopt;
            },
            [holder] {
                LastContextWindowManager::setShared(nullptr);
                holder->reset();
                return true;
            }};
}

Application::Part alertsPart() {
    auto boxes = std::make_shared<MessageBoxAlertPresenter>();
    auto screens = std::make_shared<QtDisplays>();
    return {QStringLiteral("alerts"),
            [boxes, screens]() -> std::optional<int> {
                // Confirmation boxes need widgets; without a window system they are answered Cancel.
                if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
                    AlertPresenter::setShared(boxes.get());
                    Displays::setShared(screens.get());
                }
                return std::nullopt;
            },
            [] {
                Displays::setShared(nullptr);
                AlertPresenter::setShared(nullptr);
                return true;
            }};
}

Application::Part shellPart() {
    struct Shell {
        std::unique_ptr<QtAppShell> widgets;
        std::unique_ptr<MenuBarManager> menuBar;
        std::unique_ptr<AppDelegate> delegate;
    };
    auto shell = std::make_shared<Shell>();
    return {QStringLiteral("shell"),
            [shell]() -> std::optional<int> {
                // The tray, menus and windows need widgets; without them they live in the app's state.
                if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
                    shell->widgets = std::make_unique<QtAppShell>();
                    AppShell::setShared(shell->widgets.get());
                }
                shell->menuBar = std::make_unique<MenuBarManager>();
                MenuBarManager::setCurrent(shell->menuBar.get());
                shell->delegate = std::make_unique<AppDelegate>(*shell->menuBar);
                shell->delegate->applicationDidFinishLaunching();
                return std::nullopt;
            },
            [shell] {
                shell->delegate->applicationWillTerminate();
                shell->delegate.reset();
                MenuBarManager::setCurrent(nullptr);
                shell->menuBar.reset();
                AppShell::setShared(nullptr);
                shell->widgets.reset();
                return true;
            }};
}

Application::Part linksPart() {
    auto links = std::make_shared<LinkService>();
    auto bus = std::make_shared<IntentsBusService>();
    return {QStringLiteral("links and intents"),
            [links, bus]() -> std::optional<int> {
                // After the store: a call on the bus name finds the presets open. After the shell,
                // whose windows the links open.
                links->setWindows({[](const QUrl& download) {
                                       if (MenuBarManager* menus = MenuBarManager::current())
                                           menus->openImportWizard(download.toString());
                                   },
                                   [] {
                                       if (MenuBarManager* menus = MenuBarManager::current())
                                           menus->showMainWindow();
                                   }});
                links->start();
                bus->start();
                return std::nullopt;
            },
            [links, bus] {
                bus->stop();
                links->stop();
                return true;
            }};
}

// Context rules switch presets as the workspace, Do Not Disturb, the screens and the network change.
Application::Part contextRulesPart() {
    auto holder = std::make_shared<std::unique_ptr<ContextSwitcher>>();
    return {QStringLiteral("context rules"),
            [holder]() -> std::optional<int> {
                ContextSwitcher::Hooks hooks{
                    [](const QUuid& id) { return requestSwitch(id, SwitchOrigin::ContextRule); },
                    [] { return DockManager::shared().lastAppliedPresetId(); },
                    [](const QUuid& id) { return DockPresetManager::shared().fetchPreset(id) != nullptr; }};
                *holder = std::make_unique<ContextSwitcher>(
                    ContextWatcherSet::platform(std::make_unique<QtDisplaySetWatcher>()), std::move(hooks));
                ContextSwitcher::setShared(holder->get());
                (*holder)->start();
                return std::nullopt;
            },
            [holder] {
                ContextSwitcher::setShared(nullptr);
                holder->reset();
                return true;
            }};
}

Application::Part themesPart() {
    auto holder = std::make_shared<std::unique_ptr<ThemeManager>>();
    return {QStringLiteral("themes"),
            [holder]() -> std::optional<int> {
                // A themes folder that cannot be used leaves the built-in theme current, with warnings.
                *holder = std::make_unique<ThemeManager>(UserDefaults::standard());
                ThemeManager::setShared(holder->get());
                return std::nullopt;
            },
            [holder] {
                ThemeManager::setShared(nullptr);
                holder->reset();
                return true;
            }};
}

} // namespace

QList<Application::Part> Application::standardParts() {
    return {instancePart(), storePart(),  settingsPart(), hotkeysPart(), headlessHotkeysPart(), lastContextPart(),
            alertsPart(),   themesPart(), shellPart(),    linksPart(),   contextRulesPart()};
}

Application::Application(QList<Part> parts) : parts_(std::move(parts)) {}

std::optional<int> Application::startParts() {
    for (const Part& part : parts_) {
        std::optional<int> code;
        try {
            code = part.start();
        } catch (const std::exception& error) {
            printWarning(
                QStringLiteral("Cannot start Pierline: %1 failed: %2").arg(part.name, QString::fromUtf8(error.what())));
            code = kExitFailed;
        }
        if (code)
            return code;
        ++started_;
    }
    return std::nullopt;
}

bool Application::stopParts() {
    bool ok = true;
    while (started_ > 0) {
        const Part& part = parts_[--started_];
        if (!part.stop)
            continue;
        try {
            ok = part.stop() && ok;
        } catch (const std::exception& error) {
            printWarning(QStringLiteral("Could not stop %1: %2").arg(part.name, QString::fromUtf8(error.what())));
            ok = false;
        }
    }
    return ok;
}

int Application::exec() {
    if (const auto code = startParts()) {
        const bool stopped = stopParts();
        return stopped ? *code : kExitFailed;
    }
    if (RunningApp* app = RunningApp::current())
        app->markReady();
    // Only quit, SIGTERM and SIGINT end the app; a confirmation box closing is no reason to.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    onTerminationRequest([] {
        printLine(QStringLiteral("[Pierline] Termination requested; quitting"));
        QCoreApplication::exit(0);
    });
    const int code = QCoreApplication::exec();
    const bool stopped = stopParts();
    printLine(QStringLiteral("[Pierline] Quit"));
    return stopped ? code : kExitFailed;
}

} // namespace pierline
