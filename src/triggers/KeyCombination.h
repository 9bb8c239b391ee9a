#pragma once

#include "triggers/KeyCombo.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <functional>
#include <optional>

namespace pierline {

// A recorded shortcut as the program stores it: a Carbon key code and Cocoa modifier flags.
struct KeyCombination {
    quint32 carbonKeyCode = 0;
    quint64 modifierRawValue = 0; // kCocoa* flags

    // The code is one of the nine modifier keys (54-62), pressed on its own.
    bool isModifierOnly() const;
    // What the user sees: "⌘⌥1", or a modifier key's single symbol. Modifiers come in the order
    // ⌘⌥⌃⇧; a code that names no key shows its modifiers only.
    QString displayString() const;
    // The registrable form; nullopt when the code names no key (such a combination is skipped).
    std::optional<KeyCombo> keyCombo() const;

    // {"carbonKeyCode": N, "modifierRawValue": N}
    QJsonObject toJson() const;
    QByteArray toJsonBytes() const;
    // nullopt, with `error` saying what is wrong, for anything but an object holding both keys as
    // non-negative integers in range.
    static std::optional<KeyCombination> fromJson(const QJsonValue& value, QString* error = nullptr);
    static std::optional<KeyCombination> fromJsonBytes(const QByteArray& bytes, QString* error = nullptr);

    friend bool operator==(const KeyCombination&, const KeyCombination&) = default;
};

inline size_t qHash(const KeyCombination& combination, size_t seed = 0) noexcept {
    return qHashMulti(seed, combination.carbonKeyCode, combination.modifierRawValue);
}

} // namespace pierline

template <> struct std::hash<pierline::KeyCombination> {
    size_t operator()(const pierline::KeyCombination& combination) const noexcept { return qHash(combination); }
};
