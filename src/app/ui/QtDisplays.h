#pragma once

#include "platform/Displays.h"

namespace pierline {

// The screens Qt knows, the primary one first; PIERLINE_DISPLAYS still overrides them.
class QtDisplays : public Displays {
public:
    QList<Display> displays() const override;
    std::optional<QPoint> pointer() const override;
};

} // namespace pierline
