#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "core/HarborletConfiguration.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("preset companion NAME [--show ID...] [--hide ID...] [--only | --no-only]");

int usage(const QString& message) {
    return usageError(message, kUsage);
}

} // namespace

int runPresetCompanionCommand(const QStringList& args) {
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        out(QStringLiteral("Usage: pierline %1").arg(kUsage));
        out(QStringLiteral("Sets which Harborlet docks the preset shows and hides, and whether applying it leaves the "
                           "system Dock alone (--only). Harborlet is a companion app with docks of its own; Pierline "
                           "reaches it through its socket ($XDG_RUNTIME_DIR/harborlet.sock) and each ID names one of "
                           "its docks. Without --show or --hide the configuration is kept."));
        return kExitOk;
    }
    // "--show a b --hide c": each flag takes the ids up to the next flag.
    QString name;
    QStringList show, hide;
    std::optional<bool> only;
    bool listsGiven = false;
    QStringList* current = nullptr;
    for (const QString& arg : args) {
        if (arg == QLatin1String("--show")) {
            current = &show;
            listsGiven = true;
        } else if (arg == QLatin1String("--hide")) {
            current = &hide;
            listsGiven = true;
        } else if (arg == QLatin1String("--only")) {
            only = true;
            current = nullptr;
        } else if (arg == QLatin1String("--no-only")) {
            only = false;
            current = nullptr;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usage(QStringLiteral("Unknown option: %1").arg(arg));
        } else if (current) {
            if (arg.isEmpty())
                return usage(QStringLiteral("A dock id cannot be empty"));
            if (!current->contains(arg))
                current->append(arg);
        } else if (name.isEmpty()) {
            name = arg;
        } else {
            return usage(QStringLiteral("Unexpected argument: %1").arg(arg));
        }
    }
    if (name.isEmpty())
        return usage(QStringLiteral("Missing preset NAME"));

    const PresetLookup lookup = openPreset(name);
    if (!lookup.preset)
        return kExitFailed;
    DockPresetManager& manager = *lookup.manager;
    const DockPresetPtr& preset = lookup.preset;
    if (listsGiven)
        preset->setHarborletConfiguration(HarborletConfiguration{show, hide});
    if (only)
        preset->setHarborletOnlyMode(*only);
    try {
        manager.context().save();
    } catch (const StoreError& e) {
        manager.context().rollback();
        err(QStringLiteral("Failed to save Harborlet configuration: %1").arg(e.description()));
        return kExitFailed;
    }
    const auto config = preset->harborletConfiguration();
    out(QStringLiteral("Preset '%1': show [%2], hide [%3], Harborlet-only %4")
            .arg(name, config ? config->visibleDockIds.join(QStringLiteral(", ")) : QString(),
                 config ? config->hiddenDockIds.join(QStringLiteral(", ")) : QString(),
                 preset->harborletOnlyMode() ? QStringLiteral("on") : QStringLiteral("off")));
    return kExitOk;
}

} // namespace pierline::cli
