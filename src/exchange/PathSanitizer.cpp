#include "PathSanitizer.h"

#include "platform/SystemPaths.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace pierline {
namespace {

// The folder that holds the users' homes, a separator, one name segment, a separator. "Users"
// counts anywhere, as on macOS; "home" only at the root of a path (the start of the text or of
// a JSON string, or right after "file://"), since a folder of that name deeper down, such as a
// Pierline home, holds no user name.
const QRegularExpression& usersPattern() {
    static const QRegularExpression pattern(QStringLiteral(R"((\\/|/)(Users)(\\/|/)[^/\\]+(\\/|/))"));
    return pattern;
}
const QRegularExpression& homePattern() {
    static const QRegularExpression pattern(
        QStringLiteral(R"((?<=^|"|file://|file:\\/\\/)(\\/|/)(home)(\\/|/)[^/\\]+(\\/|/))"));
    return pattern;
}
const QRegularExpression& usersPlaceholder() {
    static const QRegularExpression pattern(QStringLiteral(R"((\\/|/)(Users)(\\/|/)USERNAME(\\/|/))"));
    return pattern;
}
const QRegularExpression& homePlaceholder() {
    static const QRegularExpression pattern(
        QStringLiteral(R"((?<=^|"|file://|file:\\/\\/)(\\/|/)(home)(\\/|/)USERNAME(\\/|/))"));
    return pattern;
}

QString replaceName(const QString& text, const QRegularExpression& pattern, const QString& name) {
    QString result;
    qsizetype from = 0;
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        result += QStringView(text).mid(from, match.capturedStart() - from);
        result += match.captured(1) + match.captured(2) + match.captured(3) + name + match.captured(4);
        from = match.capturedEnd();
    }
    if (from == 0)
        return text;
    result += QStringView(text).mid(from);
    return result;
}

} // namespace

QString sanitizePath(const QString& text) {
    const QString placeholder = QStringLiteral("USERNAME");
    return replaceName(replaceName(text, usersPattern(), placeholder), homePattern(), placeholder);
}

QString restorePath(const QString& text, const QString& userName) {
    return replaceName(replaceName(text, usersPlaceholder(), userName), homePlaceholder(), userName);
}

QString restorePath(const QString& text) {
    return restorePath(text, SystemPaths::userName());
}

QString sanitizeNoteKeys(const QString& notesText) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(notesText.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return notesText;
    const QJsonObject notes = document.object();
    QJsonObject result;
    for (auto it = notes.begin(); it != notes.end(); ++it) {
        if (!it.value().isString())
            return notesText;
        result.insert(sanitizePath(it.key()), it.value());
    }
    return QString::fromUtf8(QJsonDocument(result).toJson(QJsonDocument::Compact));
}

} // namespace pierline
