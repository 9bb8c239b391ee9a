#pragma once

#include <QJsonObject>
#include <QString>
#include <memory>
#include <optional>

namespace pierline {

// Why an app action could not run.
struct ActionExecutionError {
    enum class Kind { InvalidConfiguration, AppNotFound, ExecutionFailed };
    Kind kind;
    QString message; // for ExecutionFailed

    static ActionExecutionError invalidConfiguration() { return {Kind::InvalidConfiguration, {}}; }
    static ActionExecutionError appNotFound() { return {Kind::AppNotFound, {}}; }
    static ActionExecutionError executionFailed(QString message) { return {Kind::ExecutionFailed, std::move(message)}; }
    QString description() const;
};

// What to do with one app of a preset when the preset is applied. Stored per app entry as
// {"actionType": type, "configuration": Base64 of the JSON configuration}.
class AppAction {
public:
    virtual ~AppAction() = default;

    virtual QString type() const = 0;
    virtual QJsonObject configuration() const = 0;

    QJsonObject record() const;
    // nullptr for an unknown type or a configuration that cannot be read.
    static std::unique_ptr<AppAction> fromRecord(const QJsonObject& record);
    // The configuration object inside a record, or nullopt when it is not Base64 of a JSON object.
    static std::optional<QJsonObject> decodeConfiguration(const QJsonObject& record);
};

class OpenAppAction : public AppAction {
public:
    static inline const QString actionType = QStringLiteral("open_app");
    static inline const QString displayName = QStringLiteral("Open App");
    static inline const QString description = QStringLiteral("Launch the app when the preset is applied");
    static inline const QString iconName = QStringLiteral("arrow.up.forward.app");
    static constexpr bool hasConfiguration = false;

    QString type() const override { return actionType; }
    QJsonObject configuration() const override { return {}; }
};

class OpenInIDEAction : public AppAction {
public:
    static inline const QString actionType = QStringLiteral("open_in_ide");
    static inline const QString displayName = QStringLiteral("Open Project in IDE");
    static inline const QString description = QStringLiteral("Open a project folder in this IDE");
    static inline const QString iconName = QStringLiteral("chevron.left.forwardslash.chevron.right");
    static constexpr bool hasConfiguration = true;

    explicit OpenInIDEAction(QString projectPath) : projectPath_(std::move(projectPath)) {}
    const QString& projectPath() const { return projectPath_; }

    QString type() const override { return actionType; }
    QJsonObject configuration() const override;

private:
    QString projectPath_;
};

class OpenBrowserProfileAction : public AppAction {
public:
    static inline const QString actionType = QStringLiteral("open_browser_profile");
    static inline const QString displayName = QStringLiteral("Open Browser Profile");
    static inline const QString description = QStringLiteral("Open the browser with a chosen profile");
    static inline const QString iconName = QStringLiteral("person.crop.circle");
    static constexpr bool hasConfiguration = true;

    OpenBrowserProfileAction(QString profileDirectory, QString profileName, bool usePermissionFree)
        : profileDirectory_(std::move(profileDirectory)), profileName_(std::move(profileName)),
          usePermissionFree_(usePermissionFree) {}
    const QString& profileDirectory() const { return profileDirectory_; }
    const QString& profileName() const { return profileName_; }
    bool usePermissionFree() const { return usePermissionFree_; }

    QString type() const override { return actionType; }
    QJsonObject configuration() const override;

private:
    QString profileDirectory_;
    QString profileName_;
    bool usePermissionFree_;
};

} // namespace pierline
