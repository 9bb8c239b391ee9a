#pragma once

#include "ManagedObject.h"

#include <optional>

namespace pierline {

class DockPreset;

// The plain attribute values of one right-hand item, as the writers and converters use them.
struct DockFolderStackValues {
    std::optional<QString> path;
    std::optional<QString> itemType;
    std::optional<QString> url;
    std::optional<QString> label;
    QString displayAs = QStringLiteral("folder");
    QString showAs = QStringLiteral("grid");
    QString sortOrder = QStringLiteral("name");
    qint16 order = 0;

    bool operator==(const DockFolderStackValues&) const = default;
};

// One right-hand Dock item of a preset: a folder stack, a file or a web link.
class DockFolderStack : public ManagedObject {
public:
    static inline const QString kEntityName = QStringLiteral("DockFolderStack");
    QString entityName() const override { return kEntityName; }

    std::optional<QString> path() const;
    void setPath(const std::optional<QString>& value);
    std::optional<QString> itemType() const;
    void setItemType(const std::optional<QString>& value);
    std::optional<QString> url() const;
    void setUrl(const std::optional<QString>& value);
    std::optional<QString> label() const;
    void setLabel(const std::optional<QString>& value);
    QString displayAs() const;
    void setDisplayAs(const QString& value);
    QString showAs() const;
    void setShowAs(const QString& value);
    QString sortOrder() const;
    void setSortOrder(const QString& value);
    qint16 order() const;
    void setOrder(qint16 value);

    // The owning preset (to-one, inverse of DockPreset::folderStacks).
    std::shared_ptr<DockPreset> preset() const;
    void setPreset(const std::shared_ptr<DockPreset>& preset);

    // The type used for filtering: the stored type, else "url" for an item with a web address
    // and no path, else "folder" (stores from before item types held folders only).
    QString effectiveType() const;
    // The label for display: the stored label when not blank, else the last path component of
    // the location (path, else url), else the url text.
    QString effectiveLabel() const;

    DockFolderStackValues values() const;
    void assign(const DockFolderStackValues& values); // every attribute but the relationship
};

using DockFolderStackPtr = std::shared_ptr<DockFolderStack>;

} // namespace pierline
