#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>

namespace pierline {

struct Display {
    QString uuid;
    QString name;
    QRect frame;
    QRect availableFrame; // without panels and docks
    bool isPrimary = false;
};

// The displays of the session. PIERLINE_DISPLAYS="uuid|name|WIDTHxHEIGHT+X+Y;..." overrides what
// the window system says (the first one is the primary); without either there is one 1920 x 1080
// primary display.
class Displays {
public:
    virtual ~Displays() = default;
    // Never empty; the primary display first.
    virtual QList<Display> displays() const = 0;
    virtual std::optional<QPoint> pointer() const = 0;
    // The display under the pointer, else the primary one.
    Display underPointer() const;

    static Displays& shared();
    static void setShared(Displays* displays); // nullptr restores the default
    // The displays PIERLINE_DISPLAYS names; empty when it is unset or names none.
    static QList<Display> fromEnvironment();
};

} // namespace pierline
