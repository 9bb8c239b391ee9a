#pragma once

#include <QByteArray>
#include <QStringList>
#include <optional>

namespace pierline {

// Which companion docks a preset shows and hides when applied.
struct HarborletConfiguration {
    QStringList visibleDockIds;
    QStringList hiddenDockIds;

    bool operator==(const HarborletConfiguration&) const = default;

    // Stored as one value: {"visibleDockIds": [...], "hiddenDockIds": [...]}.
    QByteArray toJson() const;
    static std::optional<HarborletConfiguration> fromJson(const QByteArray& json);
};

} // namespace pierline
