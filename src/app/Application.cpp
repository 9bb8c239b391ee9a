#include "Application.h"

#include "app/commands/PresetCommandSupport.h"
#include "app/instance/AppRequestRunner.h"
#include "app/instance/RunningApp.h"
#include "app/ui/MessageBoxAlertPresenter.h"
#include "app/ui/QtDisplaySetWatcher.h"
#include "app/ui/QtDisplays.h"
#include "apply/DockManager.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/TerminationRequest.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "store/StoreError.h"
#include "switching/AppSettings.h"
#include "switching/ContextSwitcher.h"
#include "switching/LastContextWindowManager.h"
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
    return {QStringLiteral("store"),
            []() -> std::optional<int> {
                if (!cli::openPresetManager(cli::StoreUse::RunningApp))
                    return kExitFailed;
                return std::nullopt;
            },
            [] {
                try {
                    ManagedObjectContext& context = DockPresetManager::shared().context();
                    if (context.hasChanges())
                        context.save();
                    return true;
                } catch (const StoreError& error) {
                    printWarning(
                        QStringLiteral("Could not save the preset store on quit: %1").arg(error.description()));
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

Application::Part lastContextPart() {
    auto holder = std::make_shared<std::unique_ptr<LastContextWindowManager>>();
    return {QStringLiteral("last context"),
            [holder]() -> std::optional<int> {
                // Panels only record their state until a window backend is installed.
                *holder =
                    std::make_unique<LastContextWindowManager>(AppSettings::shared(), DockPresetManager::shared());
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

} // namespace

QList<Application::Part> Application::standardParts() {
    return {instancePart(),    storePart(),  settingsPart(),    hotkeysPart(),
            lastContextPart(), alertsPart(), contextRulesPart()};
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
