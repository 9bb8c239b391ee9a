#include "QtDisplays.h"

#include "platform/Dispatch.h"

#include <QCryptographicHash>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QUuid>

namespace pierline {

namespace {

// A stable id per output name, shaped as a UUID like the display lock stores.
QString screenUuid(const QScreen& screen) {
    const QByteArray hash = QCryptographicHash::hash(screen.name().toUtf8(), QCryptographicHash::Md5);
    return QUuid::fromRfc4122(hash).toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

QList<Display> QtDisplays::displays() const {
    QList<Display> displays = fromEnvironment();
    if (!displays.isEmpty())
        return displays;
    runOnMainSync([&] {
        const QScreen* primary = QGuiApplication::primaryScreen();
        for (const QScreen* screen : QGuiApplication::screens()) {
            const Display display{screenUuid(*screen), screen->name(), screen->geometry(), screen->availableGeometry(),
                                  screen == primary};
            if (display.isPrimary)
                displays.prepend(display);
            else
                displays.append(display);
        }
    });
    if (displays.isEmpty()) {
        const QRect frame(0, 0, 1920, 1080);
        displays.append({QStringLiteral("00000000-0000-0000-0000-000000000001"), QStringLiteral("Primary Display"),
                         frame, frame, true});
    }
    return displays;
}

std::optional<QPoint> QtDisplays::pointer() const {
    std::optional<QPoint> at;
    runOnMainSync([&] { at = QCursor::pos(); });
    return at;
}

} // namespace pierline
