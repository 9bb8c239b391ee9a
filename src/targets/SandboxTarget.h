#pragma once

#include "DockTarget.h"

namespace pierline {

// The emulated Dock under PIERLINE_HOME: the `defaults` reader and the dockutil or defaults
// writer, chosen by the `useDockutil` setting and where dockutil is found.
class SandboxTarget final : public DockTarget {
public:
    QString id() const override { return QStringLiteral("sandbox"); }
    QString displayName() const override { return QStringLiteral("the sandbox Dock"); }
    TargetStatus status() const override;
    std::variant<DockReading, DockReadError> read() const override;
    // Apps and items are read one after the other, each with its own warning, as the Dock's
    // reader has always done.
    DockReading readLayout() const override;
    DockWriteReport write(const QString& presetName, const QStringList& apps, const QList<DockFolderStackValues>& items,
                          const std::function<void()>& finish) override;
    DockAppKind appKind() const override { return DockAppKind::Bundle; }
};

} // namespace pierline
