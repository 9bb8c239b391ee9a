#include "LastContextViewModel.h"

#include <cmath>

namespace pierline {

QString LastContextViewModel::title() const {
    switch (presentationMode_) {
    case PresentationMode::switchingOutgoing:
        return QStringLiteral("Switching to %1 from %2")
            .arg(incomingPresetName_, outgoingPresetName_.value_or(QStringLiteral("previous preset")));
    case PresentationMode::incomingDisplay:
        return QStringLiteral("Now in %1").arg(incomingPresetName_);
    case PresentationMode::editing:
        return QStringLiteral("Editing %1").arg(incomingPresetName_);
    }
    return {};
}

QString LastContextViewModel::countdownText() const {
    if (autoClosePaused_)
        return QStringLiteral("Auto-close paused");
    // A hair of floating-point error must not show one second more.
    const auto seconds = static_cast<long long>(std::ceil(std::max(0.0, autoCloseRemaining_) - 1e-9));
    return QStringLiteral("Auto-close in %1s").arg(seconds);
}

QString LastContextViewModel::updatedAtText(const QDateTime& now) const {
    return incomingUpdatedAt_ ? relativeShort(*incomingUpdatedAt_, now) : QString();
}

QString LastContextViewModel::relativeShort(const QDateTime& when, const QDateTime& now) {
    const qint64 delta = when.secsTo(now);
    const qint64 span = std::llabs(delta);
    struct Unit {
        qint64 seconds;
        const char* name;
    };
    static constexpr Unit units[] = {{365 * 86400, "yr."}, {30 * 86400, "mo."}, {7 * 86400, "wk."}, {86400, "day"},
                                     {3600, "hr."},        {60, "min."},        {1, "sec."}};
    qint64 count = 0;
    QString unit = QStringLiteral("sec.");
    for (const Unit& u : units) {
        if (span >= u.seconds) {
            count = span / u.seconds;
            unit = QString::fromLatin1(u.name);
            break;
        }
    }
    if (unit == QLatin1String("day") && count != 1)
        unit = QStringLiteral("days");
    const QString amount = QStringLiteral("%1 %2").arg(count).arg(unit);
    return delta >= 0 ? amount + QStringLiteral(" ago") : QStringLiteral("in ") + amount;
}

} // namespace pierline
