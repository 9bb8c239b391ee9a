#include "Displays.h"

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <atomic>

namespace pierline {
namespace {

// Without a window system: the override or one primary display.
class DefaultDisplays : public Displays {
public:
    QList<Display> displays() const override {
        QList<Display> displays = fromEnvironment();
        if (displays.isEmpty()) {
            const QRect frame(0, 0, 1920, 1080);
            displays.append({QStringLiteral("00000000-0000-0000-0000-000000000001"), QStringLiteral("Primary Display"),
                             frame, frame, true});
        }
        return displays;
    }
    std::optional<QPoint> pointer() const override { return std::nullopt; }
};

std::atomic<Displays*> g_shared{nullptr};

} // namespace

QList<Display> Displays::fromEnvironment() {
    QList<Display> displays;
    const QString configured = QProcessEnvironment::systemEnvironment().value(QStringLiteral("PIERLINE_DISPLAYS"));
    static const QRegularExpression geometry(QStringLiteral("^(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)$"));
    for (const QString& entry : configured.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(QLatin1Char('|'));
        if (parts.size() != 3 || parts[0].trimmed().isEmpty())
            continue;
        const auto match = geometry.match(parts[2].trimmed());
        if (!match.hasMatch())
            continue;
        const QRect frame(match.captured(3).toInt(), match.captured(4).toInt(), match.captured(1).toInt(),
                          match.captured(2).toInt());
        displays.append({parts[0].trimmed(), parts[1].trimmed(), frame, frame, displays.isEmpty()});
    }
    return displays;
}

Display Displays::underPointer() const {
    const QList<Display> all = displays();
    if (const auto at = pointer())
        for (const Display& display : all)
            if (display.frame.contains(*at))
                return display;
    for (const Display& display : all)
        if (display.isPrimary)
            return display;
    return all.first();
}

Displays& Displays::shared() {
    static DefaultDisplays fallback;
    Displays* installed = g_shared.load();
    return installed ? *installed : fallback;
}

void Displays::setShared(Displays* displays) {
    g_shared.store(displays);
}

} // namespace pierline
