#include "platform/AtomicFile.h"
#include "platform/DesktopIntegration.h"
#include "platform/Log.h"
#include "platform/LoginItem.h"
#include "platform/SystemPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>

namespace pierline {
namespace {

QString xdgFolder(const char* variable, const char* fallbackUnderHome) {
    const QString explicitDir = qEnvironmentVariable(variable);
    if (!explicitDir.isEmpty())
        return QDir::cleanPath(explicitDir);
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(fallbackUnderHome);
}

QString autostartFile() {
    return xdgFolder("XDG_CONFIG_HOME", ".config") + QStringLiteral("/autostart/pierline.desktop");
}

} // namespace

QString linkHandlerDesktopFile() {
    return xdgFolder("XDG_DATA_HOME", ".local/share") + QStringLiteral("/applications/pierline.desktop");
}

namespace {

// One argument of a desktop entry's Exec key: quoted, with the entry's own escapes.
QString execWord(const QString& word) {
    QString quoted;
    for (const QChar c : word) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    return quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('%'), QStringLiteral("%%"));
}

// The program as one argument of a desktop entry's Exec key.
QString execProgram() {
    return execWord(SystemPaths::commandPath());
}

std::optional<LoginItemError> writeEntry(const QString& path, const QString& text) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return LoginItemError{QStringLiteral("LoginItem"), 1,
                              QStringLiteral("Could not create %1").arg(QFileInfo(path).absolutePath()),
                              QStringLiteral("{path = %1}").arg(path)};
    }
    if (const auto failed = replaceFileAtomically(path, text.toUtf8()))
        return LoginItemError{QStringLiteral("LoginItem"), 1, *failed, QStringLiteral("{path = %1}").arg(path)};
    return std::nullopt;
}

// The login item is an XDG autostart entry.
class LinuxLoginItem : public LoginItem {
public:
    Status status() const override {
        return QFileInfo(autostartFile()).isFile() ? Status::Enabled : Status::NotRegistered;
    }

    std::optional<LoginItemError> registerItem() override {
        return writeEntry(autostartFile(), QStringLiteral("[Desktop Entry]\n"
                                                          "Type=Application\n"
                                                          "Name=Pierline\n"
                                                          "Comment=Switch between saved Dock layouts\n"
                                                          "Exec=%1 run\n"
                                                          "Terminal=false\n"
                                                          "X-GNOME-Autostart-enabled=true\n")
                                               .arg(execProgram()));
    }

    std::optional<LoginItemError> unregisterItem() override {
        QFile file(autostartFile());
        if (!file.exists() || file.remove())
            return std::nullopt;
        return LoginItemError{QStringLiteral("LoginItem"), static_cast<qint64>(file.error()), file.errorString(),
                              QStringLiteral("{path = %1}").arg(autostartFile())};
    }

    bool registerWithLaunchServices() override {
        // The desktop starts the handler in the session's environment, which lacks a home chosen in
        // a shell: the entry names it.
        const QString home = SystemPaths::homeIsExplicit()
                                 ? QStringLiteral("/usr/bin/env %1 ")
                                       .arg(execWord(QStringLiteral("PIERLINE_HOME=") + SystemPaths::home()))
                                 : QString();
        const auto failed =
            writeEntry(linkHandlerDesktopFile(), QStringLiteral("[Desktop Entry]\n"
                                                                "Type=Application\n"
                                                                "Name=Pierline\n"
                                                                "Comment=Switch between saved Dock layouts\n"
                                                                "Exec=%1%2 open %u\n"
                                                                "Terminal=false\n"
                                                                "NoDisplay=true\n"
                                                                "MimeType=x-scheme-handler/pierline;\n")
                                                     .arg(home, execProgram()));
        if (failed)
            printWarning(failed->description);
        return !failed;
    }
};

std::atomic<LoginItem*> g_loginItem{nullptr};

} // namespace

std::unique_ptr<LoginItem> createSystemLoginItem() {
    return std::make_unique<LinuxLoginItem>();
}

LoginItem& LoginItem::shared() {
    static const std::unique_ptr<LoginItem> system = createSystemLoginItem();
    LoginItem* injected = g_loginItem.load();
    return injected ? *injected : *system;
}

void LoginItem::setShared(LoginItem* item) {
    g_loginItem.store(item);
}

} // namespace pierline
