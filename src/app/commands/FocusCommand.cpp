#include "ApplyWait.h"
#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "store/DockPresetManager.h"
#include "triggers/FocusFilters.h"

#include <QJsonArray>
#include <QJsonObject>

namespace pierline::cli {
namespace {

const QString kUsage =
    QStringLiteral("focus set MODE (PRESET | --none) | focus remove MODE | focus list [--json] | focus activate MODE");

std::optional<QList<FocusFilterEntry>> loadOrComplain() {
    auto entries = FocusFilters::load();
    if (const QString* error = std::get_if<QString>(&entries)) {
        err(*error);
        return std::nullopt;
    }
    return std::get<QList<FocusFilterEntry>>(entries);
}

int listFilters(bool json) {
    if (!requireHome())
        return kExitFailed;
    const auto entries = loadOrComplain();
    if (!entries)
        return kExitFailed;
    if (json) {
        QJsonArray answer;
        for (const FocusFilterEntry& entry : *entries) {
            QJsonObject row{{QStringLiteral("mode"), entry.mode}, {QStringLiteral("id"), entry.filter.filterId}};
            if (entry.filter.preset) {
                row.insert(QStringLiteral("presetId"), entry.filter.preset->id);
                row.insert(QStringLiteral("presetName"), entry.filter.preset->name);
            }
            answer.append(row);
        }
        outJson(answer);
    } else {
        if (entries->isEmpty())
            out(QStringLiteral("No Focus filters"));
        for (const FocusFilterEntry& entry : *entries)
            out(QStringLiteral("%1: %2").arg(entry.mode, entry.filter.displayTitle()));
    }
    return kExitOk;
}

int setFilter(const QStringList& positional, bool none) {
    if (positional.size() != (none ? 1 : 2))
        return usageError(QStringLiteral("Expected a MODE and a PRESET (or --none)"),
                          QStringLiteral("focus set MODE (PRESET | --none)"));
    if (!requireHome())
        return kExitFailed;
    std::optional<PresetEntity> entity;
    if (!none) {
        DockPresetManager* manager = openPresetManager();
        if (!manager)
            return kExitFailed;
        const QString preset = positional[1];
        const DockPresetPtr found = manager->resolvePreset(preset, preset);
        if (!found || !found->name()) {
            err(PresetNotFoundError::descriptionFor(preset));
            return kExitFailed;
        }
        entity = PresetEntity::of(*found);
    }
    if (const auto error = FocusFilters::set(positional[0], entity)) {
        err(*error);
        return kExitFailed;
    }
    return kExitOk;
}

int removeFilter(const QStringList& positional) {
    if (positional.size() != 1)
        return usageError(QStringLiteral("Expected one MODE"), QStringLiteral("focus remove MODE"));
    if (!requireHome())
        return kExitFailed;
    const auto removed = FocusFilters::remove(positional[0]);
    if (const QString* error = std::get_if<QString>(&removed)) {
        err(*error);
        return kExitFailed;
    }
    if (!std::get<bool>(removed)) {
        err(FocusFilters::unknownModeText(positional[0]));
        return kExitFailed;
    }
    return kExitOk;
}

int activateFilter(const QStringList& positional) {
    if (positional.size() != 1)
        return usageError(QStringLiteral("Expected one MODE"), QStringLiteral("focus activate MODE"));
    if (!requireHome())
        return kExitFailed;
    const auto entries = loadOrComplain();
    if (!entries)
        return kExitFailed;
    const auto entry = std::find_if(entries->begin(), entries->end(),
                                    [&](const FocusFilterEntry& e) { return e.mode == positional[0]; });
    if (entry == entries->end()) {
        err(FocusFilters::unknownModeText(positional[0]));
        return kExitFailed;
    }
    if (!openPresetManager())
        return kExitFailed;
    std::optional<QFuture<ApplyHandle>> apply;
    try {
        apply = entry->filter.perform();
    } catch (const PresetNotFoundError& error) {
        err(error.description());
        return kExitFailed;
    }
    if (!apply)
        return kExitOk;
    return waitForApply(*apply, QLatin1Char('\'') + entry->filter.preset->name + QLatin1Char('\''));
}

} // namespace

int runFocusCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Focus filters: each named Focus mode applies its preset (cooldown bypassed) when it becomes active."));
    parser.addPositionalArgument(QStringLiteral("set|remove|list|activate"), QStringLiteral("What to do."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("list: answer in JSON."));
    const QCommandLineOption none(QStringLiteral("none"), QStringLiteral("set: the mode applies no preset."));
    parser.addOption(json);
    parser.addOption(none);
    if (auto exit = parse(parser, QStringLiteral("focus"), kUsage, args))
        return *exit;
    QStringList positional = parser.positionalArguments();
    const QString sub = positional.isEmpty() ? QString() : positional.takeFirst();
    const bool json_ = parser.isSet(json);
    const bool none_ = parser.isSet(none);
    if (sub == QLatin1String("list") && positional.isEmpty() && !none_)
        return listFilters(json_);
    if (sub == QLatin1String("set") && !json_)
        return setFilter(positional, none_);
    if (sub == QLatin1String("remove") && !json_ && !none_)
        return removeFilter(positional);
    if (sub == QLatin1String("activate") && !json_ && !none_)
        return activateFilter(positional);
    return usageError(QStringLiteral("Expected set, remove, list or activate"), kUsage);
}

} // namespace pierline::cli
