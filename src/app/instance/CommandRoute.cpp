#include "CommandRoute.h"

#include <QSet>

namespace pierline {

CommandRoute routeFor(const QStringList& arguments) {
    QStringList words;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return CommandRoute::InProcess;
        if (!argument.startsWith(QLatin1Char('-')))
            words.append(argument);
    }
    if (words.isEmpty())
        return CommandRoute::InProcess;
    const QString command = words.value(0);
    const QString sub = words.value(1);
    if (command == QLatin1String("apply") || command == QLatin1String("status") || command == QLatin1String("quit"))
        return CommandRoute::HandOver;
    if (command == QLatin1String("sandbox"))
        return CommandRoute::RefusedWhileRunning;
    if (command == QLatin1String("settings"))
        return sub == QLatin1String("set") ? CommandRoute::HandOver : CommandRoute::InProcess;
    if (command == QLatin1String("hotkey")) // debug shows the app's live state
        return sub == QLatin1String("show") || sub.isEmpty() ? CommandRoute::InProcess : CommandRoute::HandOver;
    if (command == QLatin1String("note"))
        return sub == QLatin1String("set") ? CommandRoute::HandOver : CommandRoute::InProcess;
    if (command == QLatin1String("shortcut"))
        return sub == QLatin1String("show") || sub.isEmpty() ? CommandRoute::InProcess : CommandRoute::HandOver;
    if (command == QLatin1String("preset"))
        return sub == QLatin1String("show") || sub.isEmpty() ? CommandRoute::InProcess : CommandRoute::HandOver;
    return CommandRoute::InProcess;
}

} // namespace pierline
