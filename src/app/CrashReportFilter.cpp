#include "CrashReportFilter.h"

#include "platform/Log.h"

#include <QJsonArray>
#include <QStringList>
#include <algorithm>

namespace pierline {
namespace {

struct Signature {
    QString name;
    QStringList packages; // a frame's package containing one of these matches
    QStringList functions;
    QString logLine;
};

const QList<Signature>& signatures() {
    static const QList<Signature> table = {
        {QStringLiteral("Update alert"),
         {QStringLiteral("Sparkle.framework")},
         {QStringLiteral("showUpdateNotFound"), QStringLiteral("NSAlert")},
         {}},
        {QStringLiteral("Status item"),
         {},
         {QStringLiteral("NSStatusBarWindow"), QStringLiteral("NSStatusItem"), QStringLiteral("_CGSGetWindowLevel"),
          QStringLiteral("CGSWindowOrdering")},
         QStringLiteral("NSStatusItem hang detected - known macOS issue")},
        {QStringLiteral("Icon services"),
         {},
         {QStringLiteral("ISConcreteIcon"), QStringLiteral("ISIcon"), QStringLiteral("ISRetryRequest"),
          QStringLiteral("generateImageWithDescriptor")},
         QStringLiteral("IconServices hang detected - known macOS issue")},
        {QStringLiteral("Drag and drop"),
         {},
         {QStringLiteral("NSCoreDragManager"), QStringLiteral("CoreDragStartDraggingAsync"),
          QStringLiteral("GetDragTarget"), QStringLiteral("SLSConnectionGetPID"), QStringLiteral("_dragUntilMouseUp")},
         QStringLiteral("Drag-and-drop hang detected - known macOS system issue")},
    };
    return table;
}

bool containsAny(const QString& text, const QStringList& needles) {
    return std::any_of(needles.begin(), needles.end(), [&](const QString& n) { return text.contains(n); });
}

bool frameMatches(const QJsonObject& frame, const Signature& signature) {
    return containsAny(frame.value(QStringLiteral("package")).toString(), signature.packages) ||
           containsAny(frame.value(QStringLiteral("function")).toString(), signature.functions);
}

} // namespace

CrashReportVerdict crashReportHangFilter(const QJsonObject& event) {
    const QJsonArray exceptions =
        event.value(QStringLiteral("exception")).toObject().value(QStringLiteral("values")).toArray();
    const QJsonObject exception = exceptions.isEmpty() ? QJsonObject() : exceptions.at(0).toObject();
    if (exception.value(QStringLiteral("type")).toString() != QLatin1String("App Hanging"))
        return {};
    const QJsonArray frames =
        exception.value(QStringLiteral("stacktrace")).toObject().value(QStringLiteral("frames")).toArray();
    for (const Signature& signature : signatures()) {
        const bool matched = std::any_of(frames.begin(), frames.end(), [&](const QJsonValue& frame) {
            return frameMatches(frame.toObject(), signature);
        });
        if (!matched)
            continue;
        if (!signature.logLine.isEmpty())
            printLine(signature.logLine);
        return {false, signature.name, signature.logLine};
    }
    return {};
}

} // namespace pierline
