#pragma once

#include "core/DockFolderStack.h"
#include "dock/DockutilWriter.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
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

inline QStringList runTexts(const QList<WriterStep>& steps) {
    QStringList out;
    for (const WriterStep& s : steps)
        if (s.kind == WriterStep::Kind::Run)
            out.append(s.text);
    return out;
}

inline QStringList printTexts(const QList<WriterStep>& steps) {
    QStringList out;
    for (const WriterStep& s : steps)
        if (s.kind == WriterStep::Kind::Print)
            out.append(s.text);
    return out;
}

// A tools folder of stand-in scripts that record each call ("name <arg> <arg>...") in calls.log; it
// replaces the emulated tools for its lifetime.
class RecordingTools {
public:
    RecordingTools() {
        previous_ = qgetenv("PIERLINE_TOOLS_DIR");
        hadPrevious_ = qEnvironmentVariableIsSet("PIERLINE_TOOLS_DIR");
        qputenv("PIERLINE_TOOLS_DIR", dir_.path().toUtf8());
    }
    ~RecordingTools() {
        if (hadPrevious_)
            qputenv("PIERLINE_TOOLS_DIR", previous_);
        else
            qunsetenv("PIERLINE_TOOLS_DIR");
    }

    // `extra` runs after the call is recorded.
    QString add(const QString& name, const QByteArray& extra = {}) const {
        const QString path = dir_.filePath(name);
        QFile script(path);
        if (script.open(QIODevice::WriteOnly)) {
            script.write("#!/bin/sh\nline='" + name.toUtf8() +
                         "'\nfor a in \"$@\"; do line=\"$line <$a>\"; done\n"
                         "printf '%s\\n' \"$line\" >> '" +
                         logPath().toUtf8() + "'\n" + extra + "\n");
        }
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    QString logPath() const { return dir_.filePath(QStringLiteral("calls.log")); }
    QStringList calls() const {
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

} // namespace pierline::test::writers
