#pragma once

#include "core/DockFolderStack.h"
#include "dock/DockutilWriter.h"

#include <QStringList>
#include <ostream>

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[' << list.join(QStringLiteral(" | ")).toStdString() << ']';
}

namespace pierline {
inline void PrintTo(const WriterStep& step, std::ostream* os) {
    *os << (step.kind == WriterStep::Kind::Run ? "run " : "print ") << step.text.toStdString();
}
} // namespace pierline

namespace pierline::test::writers {

inline DockFolderStackValues folder(const QString& path, const QString& showAs = QStringLiteral("grid"),
                                    const QString& displayAs = QStringLiteral("folder"),
                                    const QString& sortOrder = QStringLiteral("name")) {
    DockFolderStackValues v;
    v.path = path;
    v.url = path;
    v.itemType = QStringLiteral("folder");
    v.showAs = showAs;
    v.displayAs = displayAs;
    v.sortOrder = sortOrder;
    return v;
}

inline DockFolderStackValues fileItem(const QString& location, const std::optional<QString>& label = std::nullopt) {
    DockFolderStackValues v;
    v.path = location;
    v.url = location;
    v.itemType = QStringLiteral("file");
    v.label = label;
    return v;
}

inline DockFolderStackValues webLink(const std::optional<QString>& url, const std::optional<QString>& label) {
    DockFolderStackValues v;
    v.itemType = QStringLiteral("url");
    v.url = url;
    v.label = label;
    return v;
}

inline QStringList stepTexts(const QList<WriterStep>& steps, WriterStep::Kind kind) {
    QStringList out;
    for (const WriterStep& s : steps)
        if (s.kind == kind)
            out.append(s.text);
    return out;
}
inline QStringList runTexts(const QList<WriterStep>& steps) {
    return stepTexts(steps, WriterStep::Kind::Run);
}
inline QStringList printTexts(const QList<WriterStep>& steps) {
    return stepTexts(steps, WriterStep::Kind::Print);
}

} // namespace pierline::test::writers
