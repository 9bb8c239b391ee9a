#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

// Helpers shared by the emulated macOS commands (defaults, dockutil, killall).
namespace pierline::tools {

QStringList argumentsOf(int argc, char** argv); // without the program name

void writeOut(const QByteArray& bytes);
void printErr(const QString& text); // one line to stderr

// A preferences domain file as read from disk.
struct DomainContents {
    bool exists = false;
    std::optional<QVariant> value; // set when the file exists and parses
    QString error;                 // set when it exists and does not parse
};

// A domain argument resolved: a plain name lives under Library/Preferences; an absolute path
// names the file itself (".plist" added when missing), as macOS allows; "-g" and
// "NSGlobalDomain" are the global domain.
struct DomainRef {
    QString name;     // what UserDefaults takes
    QString filePath; // the plist file
};
// Nullopt for names that would escape the preferences folder.
std::optional<DomainRef> resolveDomain(const QString& domain);

DomainContents readDomainFile(const QString& path);

// Appends "<ISO time> Dock restarted" to Library/Logs/Dock.log; false with `error` on failure.
bool recordDockRestart(QString* error);

} // namespace pierline::tools
