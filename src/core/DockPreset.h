#pragma once

#include "DockFolderStack.h"
#include "HarborletConfiguration.h"
#include "ManagedObject.h"

#include <QDateTime>
#include <QList>
#include <QUuid>
#include <optional>

namespace pierline {

// One saved Dock layout.
class DockPreset : public ManagedObject {
public:
    static inline const QString kEntityName = QStringLiteral("DockPreset");
    QString entityName() const override { return kEntityName; }

    std::optional<QUuid> id() const;
    void setId(const std::optional<QUuid>& value);
    std::optional<QString> name() const;
    void setName(const std::optional<QString>& value);
    std::optional<QString> apps() const;
    void setApps(const std::optional<QString>& value);
    std::optional<QString> appNotes() const;
    void setAppNotes(const std::optional<QString>& value);
    std::optional<QString> appActions() const;
    void setAppActions(const std::optional<QString>& value);
    std::optional<QDateTime> createdAt() const;
    void setCreatedAt(const std::optional<QDateTime>& value);
    qint16 order() const;
    void setOrder(qint16 value);
    bool harborletOnlyMode() const;
    void setHarborletOnlyMode(bool value);
    std::optional<QString> lastContextStatus() const;
    void setLastContextStatus(const std::optional<QString>& value);
    std::optional<QString> lastContextNextSteps() const;
    void setLastContextNextSteps(const std::optional<QString>& value);
    std::optional<QDateTime> lastContextUpdatedAt() const;
    void setLastContextUpdatedAt(const std::optional<QDateTime>& value);
    std::optional<HarborletConfiguration> harborletConfiguration() const;
    void setHarborletConfiguration(const std::optional<HarborletConfiguration>& value);

    // The right-hand items, unordered, and sorted by their order.
    QList<DockFolderStackPtr> folderStacks() const;
    QList<DockFolderStackPtr> folderStacksArray() const;

    // The id as the upper-case string used outside the store, or empty.
    QString idString() const;

    // Names the identifier repair replaces at the next start: absent, blank after trimming, or
    // "null" / "undefined" in any case.
    static bool isPlaceholderName(const std::optional<QString>& name);
    // Why `name` cannot be given to a preset (a placeholder, or what shownTextProblem finds), or
    // nothing when it can.
    static std::optional<QString> nameProblem(const QString& name);
};

using DockPresetPtr = std::shared_ptr<DockPreset>;

// Names and labels are shown in menus, lists and the log: at most this many characters.
inline constexpr qsizetype kMaxShownTextLength = 255;
// Why `text` cannot be a name or label (a control character, text that was not valid UTF-8, more
// than kMaxShownTextLength characters); `what` names it in the message ("preset name", "label").
std::optional<QString> shownTextProblem(const QString& text, const QString& what);

} // namespace pierline
