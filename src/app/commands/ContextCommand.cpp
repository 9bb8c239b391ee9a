#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "app/instance/RunningApp.h"
#include "core/LastContextNotificationKeys.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemPaths.h"
#include "store/DockPresetManager.h"
#include "switching/AppSettings.h"
#include "switching/LastContextWindowManager.h"

#include <QJsonObject>

namespace pierline::cli {
namespace {

const QString kUsage =
    QStringLiteral("context state [--json] | save [TEXT] | close | pause | resume | edit NAME\n"
                   "       pierline context request [--new N] [--new-id U] [--previous N] [--previous-id U]");

QString modeName(PresentationMode mode) {
    switch (mode) {
    case PresentationMode::switchingOutgoing:
        return QStringLiteral("switchingOutgoing");
    case PresentationMode::incomingDisplay:
        return QStringLiteral("incomingDisplay");
    case PresentationMode::editing:
        return QStringLiteral("editing");
    }
    return {};
}

QString dateText(const QDateTime& date) {
    return date.toUTC().toString(Qt::ISODateWithMs);
}

QJsonObject stateOf(const LastContextWindowManager& m) {
    const LastContextViewModel& vm = m.viewModel();
    QJsonObject model{{QStringLiteral("presentationMode"), modeName(vm.presentationMode())},
                      {QStringLiteral("incomingPresetName"), vm.incomingPresetName()},
                      {QStringLiteral("contextText"), vm.contextText()},
                      {QStringLiteral("autoCloseRemaining"), vm.autoCloseRemaining()},
                      {QStringLiteral("autoCloseProgress"), vm.autoCloseProgress()},
                      {QStringLiteral("autoClosePaused"), vm.autoClosePaused()},
                      {QStringLiteral("autoCloseEnabled"), vm.autoCloseEnabled()},
                      {QStringLiteral("shouldShowOutgoingPrompt"), vm.shouldShowOutgoingPrompt()},
                      {QStringLiteral("shouldShowIncomingContext"), vm.shouldShowIncomingContext()},
                      {QStringLiteral("shouldAutoFocusStatus"), vm.shouldAutoFocusStatus()},
                      {QStringLiteral("initialContextText"), vm.initialContextText}};
    if (vm.outgoingPresetName())
        model.insert(QStringLiteral("outgoingPresetName"), *vm.outgoingPresetName());
    if (vm.incomingStatus())
        model.insert(QStringLiteral("incomingStatus"), *vm.incomingStatus());
    if (vm.incomingNextSteps())
        model.insert(QStringLiteral("incomingNextSteps"), *vm.incomingNextSteps());
    if (vm.incomingUpdatedAt())
        model.insert(QStringLiteral("incomingUpdatedAt"), dateText(*vm.incomingUpdatedAt()));

    QJsonObject state{{QStringLiteral("viewModel"), model},
                      {QStringLiteral("panel"), m.panel() != nullptr},
                      {QStringLiteral("observer"), m.observing()},
                      {QStringLiteral("autoCloseTimer"), m.timerRunning()},
                      {QStringLiteral("autoCloseRemaining"), m.autoCloseRemaining()},
                      {QStringLiteral("autoCloseDuration"), m.autoCloseDuration()}};
    if (m.autoCloseStartDate())
        state.insert(QStringLiteral("autoCloseStartDate"), dateText(*m.autoCloseStartDate()));
    if (m.outgoingPresetObjectID())
        state.insert(QStringLiteral("outgoingPresetObjectID"), *m.outgoingPresetObjectID());
    if (m.currentPopupKind()) {
        state.insert(QStringLiteral("currentPopupKind"), popupKindName(*m.currentPopupKind()));
        state.insert(QStringLiteral("kind"), popupKindName(*m.currentPopupKind()));
        state.insert(QStringLiteral("interactive"), m.panel() && m.panel()->allowsKey());
        state.insert(QStringLiteral("title"), vm.title());
        if (vm.autoCloseEnabled())
            state.insert(QStringLiteral("countdown"), vm.countdownText());
    }
    if (const auto& pending = m.pendingIncomingContext()) {
        QJsonObject payload{{QStringLiteral("presetName"), pending->presetName}};
        if (pending->status)
            payload.insert(QStringLiteral("status"), *pending->status);
        if (pending->nextSteps)
            payload.insert(QStringLiteral("nextSteps"), *pending->nextSteps);
        if (pending->updatedAt)
            payload.insert(QStringLiteral("updatedAt"), dateText(*pending->updatedAt));
        state.insert(QStringLiteral("pendingIncoming"), payload);
    }
    return state;
}

void printState(const QJsonObject& state) {
    if (state.contains(QStringLiteral("kind"))) {
        out(QStringLiteral("%1: %2").arg(state.value(QStringLiteral("kind")).toString(),
                                         state.value(QStringLiteral("title")).toString()));
        if (state.contains(QStringLiteral("countdown")))
            out(state.value(QStringLiteral("countdown")).toString());
    } else {
        out(QStringLiteral("No Last Context panel is open"));
    }
    if (state.contains(QStringLiteral("pendingIncoming")))
        out(QStringLiteral("then: %1")
                .arg(state.value(QStringLiteral("pendingIncoming"))
                         .toObject()
                         .value(QStringLiteral("presetName"))
                         .toString()));
}

// A value that is a UUID travels as one; anything else as text, which the manager ignores.
QVariant idValue(const QString& text) {
    const QUuid id = QUuid::fromString(text);
    return id.isNull() ? QVariant(text) : QVariant(id);
}

int runRequest(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Posts a switch-context request as an apply does."));
    const QCommandLineOption newName(QStringLiteral("new"), QStringLiteral("The new preset's name."),
                                     QStringLiteral("N"));
    const QCommandLineOption newId(QStringLiteral("new-id"), QStringLiteral("The new preset's id."),
                                   QStringLiteral("U"));
    const QCommandLineOption previousName(QStringLiteral("previous"), QStringLiteral("The previous preset's name."),
                                          QStringLiteral("N"));
    const QCommandLineOption previousId(QStringLiteral("previous-id"), QStringLiteral("The previous preset's id."),
                                        QStringLiteral("U"));
    parser.addOptions({newName, newId, previousName, previousId});
    if (auto exit = parse(parser, QStringLiteral("context request"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("context request takes no arguments"), kUsage);
    using Keys = LastContextNotificationKeys;
    QVariantMap info;
    if (parser.isSet(newName))
        info.insert(Keys::newPresetName, parser.value(newName));
    if (parser.isSet(newId))
        info.insert(Keys::newPresetID, idValue(parser.value(newId)));
    if (parser.isSet(previousName))
        info.insert(Keys::previousPresetName, parser.value(previousName));
    if (parser.isSet(previousId))
        info.insert(Keys::previousPresetID, idValue(parser.value(previousId)));
    if (!RunningApp::current()) {
        err(QStringLiteral("Pierline is not running on %1").arg(SystemPaths::home()));
        return kExitFailed;
    }
    NotificationCenter::shared().postOnMainQueue(kPresetSwitchContextRequestedNotification, info);
    return kExitOk;
}

} // namespace

// Handed to the app, whose Last Context manager it drives; without an app there is none.
int runContextCommand(const QStringList& args) {
    const QString sub = args.value(0);
    if (args.isEmpty() || isHelp(sub)) {
        printUsage(kUsage, QStringLiteral("Shows and drives the Last Context panel of the running app."));
        return args.isEmpty() ? kExitUsage : kExitOk;
    }
    if (sub == QLatin1String("request"))
        return runRequest(args.mid(1));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows and drives the Last Context panel of the running app."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the state as JSON."));
    if (sub == QLatin1String("state"))
        parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("context ") + sub, kUsage, args.mid(1)))
        return *exit;
    const QStringList rest = parser.positionalArguments();
    const bool takesOne = sub == QLatin1String("edit") || sub == QLatin1String("save");
    const bool known = takesOne || sub == QLatin1String("state") || sub == QLatin1String("close") ||
                       sub == QLatin1String("pause") || sub == QLatin1String("resume");
    if (!known)
        return usageError(QStringLiteral("Unknown context command '%1'").arg(sub), kUsage);
    if (rest.size() > (takesOne ? 1 : 0) || (sub == QLatin1String("edit") && rest.isEmpty()))
        return usageError(sub == QLatin1String("edit") ? QStringLiteral("context edit takes one preset name")
                                                       : QStringLiteral("Too many arguments for context %1").arg(sub),
                          kUsage);

    if (!RunningApp::current() || !LastContextWindowManager::shared()) {
        err(QStringLiteral("Pierline is not running on %1").arg(SystemPaths::home()));
        return kExitFailed;
    }
    return runOnMainSyncResult([&]() -> int {
        LastContextWindowManager& m = *LastContextWindowManager::shared();
        if (sub == QLatin1String("state")) {
            const QJsonObject state = stateOf(m);
            parser.isSet(json) ? outJson(state) : printState(state);
        } else if (sub == QLatin1String("save")) {
            if (!rest.isEmpty())
                m.viewModel().setContextText(rest.first());
            m.save();
        } else if (sub == QLatin1String("close")) {
            m.close();
        } else if (sub == QLatin1String("pause")) {
            m.pauseAutoClose();
        } else if (sub == QLatin1String("resume")) {
            m.resumeAutoClose();
        } else {
            if (!AppSettings::shared().lastContextEnabled()) {
                err(QStringLiteral("Last Context is off"));
                return kExitFailed;
            }
            const DockPresetPtr preset = findPresetOrComplain(DockPresetManager::shared(), rest.first());
            if (!preset)
                return kExitFailed;
            m.showEditor(preset);
        }
        return kExitOk;
    });
}

} // namespace pierline::cli
