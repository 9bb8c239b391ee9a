#pragma once

#include "triggers/Intents.h"

#include <QList>
#include <QString>
#include <optional>
#include <variant>

namespace pierline {

// The Focus modes the user named, each with its filter, kept in our user-defaults domain.
struct FocusFilterEntry {
    QString mode;
    PierlineFocusFilter filter;
};

namespace FocusFilters {
inline const QString kTableKey = QStringLiteral("focusFilters_v1");

// By mode name; the error names what is damaged (nothing is dropped silently).
std::variant<QList<FocusFilterEntry>, QString> load();
// The mode's filter, a new one for a new mode (its id stays when the preset changes); `preset`
// none: the filter applies nothing. Returns the error, nullopt when stored.
std::optional<QString> set(const QString& mode, const std::optional<PresetEntity>& preset);
// False when there is no such mode; the error when the table cannot be read or written.
std::variant<bool, QString> remove(const QString& mode);
QString unknownModeText(const QString& mode);
} // namespace FocusFilters

} // namespace pierline
