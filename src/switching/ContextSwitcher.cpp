#include "ContextSwitcher.h"

#include "core/SettingDescriptors.h"
#include "platform/Log.h"
#include "platform/UuidText.h"

namespace pierline {
namespace {

ContextSwitcher* g_shared = nullptr;

const Logger& log() {
    static const Logger logger(QStringLiteral("ContextRules"));
    return logger;
}

} // namespace

ContextWatcherSet ContextWatcherSet::platform(std::unique_ptr<DisplaySetWatcher> displays) {
    ContextWatcherSet set;
    set.workspace = createWorkspaceWatcher();
    set.doNotDisturb = createDoNotDisturbWatcher();
    set.displays = std::move(displays);
    set.network = createNetworkWatcher();
    return set;
}

void ContextWatcherSet::start(const std::function<void()>& changed) {
    statuses_ = {{QStringLiteral("workspace"), workspace->start(changed)},
                 {QStringLiteral("dnd"), doNotDisturb->start(changed)},
                 {QStringLiteral("displays"), displays->start(changed)},
                 {QStringLiteral("network"), network->start(changed)}};
}

DesktopContext ContextWatcherSet::context() const {
    DesktopContext context;
    if (const auto now = workspace->current()) {
        context.workspace = now->index;
        context.workspaceName = now->name;
    }
    context.doNotDisturb = doNotDisturb->current();
    context.displays = displays->current();
    context.networks = network->current();
    return context;
}

ContextSwitcher::ContextSwitcher(ContextWatcherSet watchers, Hooks hooks)
    : watchers_(std::move(watchers)), hooks_(std::move(hooks)) {}

ContextSwitcher::~ContextSwitcher() {
    if (timer_)
        Timers::shared().cancel(timer_);
    if (g_shared == this)
        g_shared = nullptr;
}

ContextSwitcher* ContextSwitcher::shared() {
    return g_shared;
}

void ContextSwitcher::setShared(ContextSwitcher* switcher) {
    g_shared = switcher;
}

void ContextSwitcher::start() {
    watchers_.start([this] { contextChanged(); });
    for (const ContextWatcherStatus& status : watchers_.statuses())
        if (status.problem) {
            printLine(QStringLiteral("[ContextRules] Not watching %1: %2").arg(status.source, *status.problem));
            log().notice(QStringLiteral("watcher %1 unavailable: %2").arg(status.source, *status.problem));
        }
    evaluate();
}

void ContextSwitcher::contextChanged() {
    // Each change restarts the wait: a burst switches once, after its last change.
    if (timer_)
        Timers::shared().cancel(timer_);
    const double settle = readDoubleSetting(Setting::ContextSettleSeconds);
    timer_ = Timers::shared().schedule(settle, false, [this] {
        timer_ = 0;
        evaluate();
    });
}

void ContextSwitcher::evaluate() {
    if (!readBoolSetting(Setting::ContextRulesEnabled)) {
        winner_.reset();
        return;
    }
    QString error;
    const auto rules = ContextRuleTable::read(&error);
    QStringList problems;
    if (!rules)
        problems << QStringLiteral("Context rules are not used: the stored rules cannot be read (%1)").arg(error);
    QList<qsizetype> gone;
    std::optional<qsizetype> winner;
    if (rules) {
        for (qsizetype i = 0; i < rules->size(); ++i)
            if (!(*rules)[i].rule)
                problems << QStringLiteral("Context rule %1 cannot be read (%2); it is kept and skipped")
                                .arg(i)
                                .arg((*rules)[i].error);
        winner = winningContextRule(*rules, watchers_.context(), hooks_.presetExists, &gone);
        for (qsizetype i : gone)
            problems << QStringLiteral("Context rule %1 (%2) names a preset that is gone (%3); skipped")
                            .arg(i)
                            .arg((*rules)[i].rule->condition.text(), uuidText((*rules)[i].rule->presetId));
    }
    const QString report = problems.join(QLatin1Char('\n'));
    if (report != reported_) {
        for (const QString& problem : problems)
            printWarning(problem);
        reported_ = report;
    }
    if (!winner) {
        winner_.reset();
        return;
    }
    const ContextRule& rule = *(*rules)[*winner].rule;
    if (winner_ && winner_->condition == rule.condition && winner_->presetId == rule.presetId)
        return;
    winner_ = rule;
    if (hooks_.lastAppliedPresetId() == rule.presetId) {
        log().info(
            QStringLiteral("rule %1 (%2) wins; its preset is already applied").arg(*winner).arg(rule.condition.text()));
        return;
    }
    printLine(QStringLiteral("[ContextRules] Rule %1 (%2) wins; switching").arg(*winner).arg(rule.condition.text()));
    hooks_.requestSwitch(rule.presetId);
}

} // namespace pierline
