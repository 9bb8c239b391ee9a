#include "CustomSpaceNames.h"

#include "platform/SystemPaths.h"

#include <QDir>
#include <QFileInfo>

namespace pierline {
namespace {

QString trimmedOf(const QString& text, const QString& characters) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && characters.contains(text[start]))
        ++start;
    while (end > start && characters.contains(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

} // namespace

QString sanitizeCustomSpaceName(const QString& name) {
    QString kept;
    kept.reserve(name.size());
    for (const QChar c : name)
        if (!kCustomSpaceRemovedCharacters.contains(c))
            kept.append(c);
    return trimmedOf(kept, QStringLiteral(" \t"));
}

QString customSpaceBundleFor(const QString& sanitizedName) {
    return QDir::cleanPath(QDir(SystemPaths::customSpacesFolder()).filePath(sanitizedName + QStringLiteral(".app")));
}

bool isCustomSpaceNameAvailable(const QString& name, const QString& editedBundlePath) {
    const QString sanitized = sanitizeCustomSpaceName(name);
    if (sanitized.isEmpty())
        return false;
    const QString target = customSpaceBundleFor(sanitized);
    const QFileInfo existing(target);
    if (!existing.exists() && !existing.isSymLink())
        return true;
    return !editedBundlePath.isEmpty() && QDir::cleanPath(editedBundlePath) == target;
}

std::optional<QString> customSpaceNameProblem(const QString& name, const QString& editedBundlePath) {
    if (trimmedOf(name, QStringLiteral(" \t")).isEmpty())
        return QStringLiteral("Name cannot be empty.");
    for (const QChar c : name)
        if (kCustomSpaceRemovedCharacters.contains(c))
            return QStringLiteral("Name contains invalid characters.");
    if (!isCustomSpaceNameAvailable(name, editedBundlePath))
        return QStringLiteral("A custom spacer with this name already exists.");
    return std::nullopt;
}

std::optional<QString> unusableNameText(const QString& name) {
    if (name.contains(QChar::ReplacementCharacter))
        return QStringLiteral("The name is not valid UTF-8.");
    const QString inner = trimmedOf(name, QStringLiteral(" \t"));
    for (const QChar c : inner)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return QStringLiteral("The name holds a control character.");
    return std::nullopt;
}

} // namespace pierline
