#pragma once

#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <optional>

namespace pierline {

// What the desktop's context is made of; a part is unknown while its watcher says nothing.
struct DesktopContext {
    std::optional<int> workspace;
    QString workspaceName;
    std::optional<bool> doNotDisturb;
    std::optional<QStringList> displays; // connector names
    std::optional<QStringList> networks; // active connection names; empty: offline
};

// The one condition a rule names.
struct ContextCondition {
    enum class Kind { Workspace, WorkspaceName, DoNotDisturb, Displays, Display, Network, Offline };
    Kind kind = Kind::Workspace;
    int workspace = 0; // Workspace, 0-based
    QString name;      // WorkspaceName, Display, Network
    bool on = false;   // DoNotDisturb
    QStringList names; // Displays

    // Holds only when the part of the context it asks about is known.
    bool holds(const DesktopContext& context) const;
    // As the command line takes it: "workspace 2", "displays HDMI-1,eDP-1", "offline".
    QString text() const;
    // Which watcher it needs: "workspace", "dnd", "displays" or "network".
    QString source() const;

    friend bool operator==(const ContextCondition&, const ContextCondition&) = default;
};

struct ContextRule {
    ContextCondition condition;
    QUuid presetId;
};

// One stored entry: read, or kept as stored with the reason it cannot be read.
struct StoredContextRule {
    std::optional<ContextRule> rule;
    QJsonValue stored;
    QString error;
};

QJsonValue contextRuleToJson(const ContextRule& rule);
// nullopt with `why` for an entry that is not a rule.
std::optional<ContextRule> contextRuleFromJson(const QJsonValue& value, QString* why);

// The rules in order, in our user-defaults domain as JSON data. An entry that cannot be read is
// kept where it is; a value that is not a list at all refuses every change.
class ContextRuleTable {
public:
    static inline const QString kKey = QStringLiteral("contextRules_v1");

    // nullopt with `error` when the stored value cannot be read as a list.
    static std::optional<QList<StoredContextRule>> read(QString* error);
    // Reads, lets `change` edit the list (it returns an error to leave the store alone) and
    // writes back, under the domain's lock. The error when nothing was written.
    static std::optional<QString> edit(const std::function<std::optional<QString>(QList<StoredContextRule>&)>& change);
};

// The rule that wins in `context`: the first one in order that holds and whose preset still
// exists. `gone` gets the positions of rules that held but name a preset that is gone.
std::optional<qsizetype> winningContextRule(const QList<StoredContextRule>& rules, const DesktopContext& context,
                                            const std::function<bool(const QUuid&)>& presetExists,
                                            QList<qsizetype>* gone = nullptr);

} // namespace pierline
