#include "DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pierline {
namespace {

std::optional<QString> findIn(const QString& folder, const QString& id) {
    const QString direct = QDir(folder).filePath(id);
    if (QFileInfo(direct).isFile())
        return direct;
    // Each "-" may stand for a subfolder.
    for (qsizetype dash = id.indexOf(QLatin1Char('-')); dash > 0; dash = id.indexOf(QLatin1Char('-'), dash + 1)) {
        const QString sub = QDir(folder).filePath(id.left(dash));
        if (QFileInfo(sub).isDir())
            if (auto found = findIn(sub, id.mid(dash + 1)))
                return found;
    }
    return std::nullopt;
}

// Candidate locale suffixes, most specific first: lang_COUNTRY@MOD, lang_COUNTRY, lang@MOD, lang.
QStringList localeCandidates() {
    QString locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = qEnvironmentVariable(name);
        if (!locale.isEmpty())
            break;
    }
    if (locale.isEmpty() || locale == QLatin1String("C") || locale == QLatin1String("POSIX"))
        return {};
    QString modifier;
    if (const qsizetype at = locale.indexOf(QLatin1Char('@')); at >= 0) {
        modifier = locale.mid(at);
        locale.truncate(at);
    }
    if (const qsizetype dot = locale.indexOf(QLatin1Char('.')); dot >= 0)
        locale.truncate(dot);
    const QString lang = locale.section(QLatin1Char('_'), 0, 0);
    QStringList out;
    if (locale != lang) {
        if (!modifier.isEmpty())
            out << locale + modifier;
        out << locale;
    }
    if (!modifier.isEmpty())
        out << lang + modifier;
    out << lang;
    return out;
}

} // namespace

std::optional<QString> findDesktopFile(const QString& desktopId) {
    if (desktopId.isEmpty() || desktopId.contains(QLatin1Char('/')))
        return std::nullopt;
    for (const QString& folder : applicationFolders())
        if (auto found = findIn(folder, desktopId))
            return found;
    return std::nullopt;
}

QString desktopIdOfPath(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    for (const QString& folder : applicationFolders()) {
        const QString prefix = QDir::cleanPath(folder) + QLatin1Char('/');
        if (clean.startsWith(prefix))
            return clean.mid(prefix.size()).replace(QLatin1Char('/'), QLatin1Char('-'));
    }
    return QFileInfo(clean).fileName();
}

std::optional<DesktopEntry> DesktopEntry::load(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    bool hasGroup = false;
    DesktopEntry entry = parse(file.readAll(), &hasGroup);
    if (!hasGroup) {
        if (error)
            *error = QStringLiteral("%1 has no [Desktop Entry] group").arg(path);
        return std::nullopt;
    }
    return entry;
}

DesktopEntry DesktopEntry::parse(const QByteArray& text, bool* hasGroup) {
    DesktopEntry entry;
    bool inGroup = false;
    bool seen = false;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            seen = seen || inGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inGroup || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!entry.values_.contains(key)) // the first of a repeated key counts
            entry.values_.insert(key, line.mid(equals + 1).trimmed());
    }
    if (hasGroup)
        *hasGroup = seen;
    return entry;
}

std::optional<QString> DesktopEntry::value(const QString& key) const {
    const auto it = values_.constFind(key);
    if (it == values_.constEnd())
        return std::nullopt;
    return unescapeDesktopValue(*it);
}

std::optional<QString> DesktopEntry::localised(const QString& key) const {
    for (const QString& locale : localeCandidates())
        if (auto found = value(QStringLiteral("%1[%2]").arg(key, locale)))
            return found;
    return value(key);
}

QString escapeDesktopValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char(' ') && i == 0)
            out += QStringLiteral("\\s");
        else
            out += c;
    }
    return out;
}

QString unescapeDesktopValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += QLatin1Char('\\');
            out += next;
            break;
        }
    }
    return out;
}

QString desktopExecArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString text = argument;
    text.replace(QLatin1Char('%'), QStringLiteral("%%")); // field codes
    bool quote = text.isEmpty();
    for (const QChar c : text)
        quote = quote || reserved.contains(c);
    if (!quote)
        return text;
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('"');
}

} // namespace pierline
