#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "platform/Log.h"
#include "platform/Url.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"

#include <QDir>
#include <QFileInfo>
#include <functional>

namespace pierline::cli {
namespace {

const QStringList kDisplayAs = {QStringLiteral("stack"), QStringLiteral("folder")};
const QStringList kShowAs = {QStringLiteral("auto"), QStringLiteral("fan"), QStringLiteral("grid"),
                             QStringLiteral("list")};
const QStringList kSortOrders = {QStringLiteral("name"), QStringLiteral("date added"), QStringLiteral("date modified"),
                                 QStringLiteral("date created"), QStringLiteral("kind")};

// The local path an item's location names (a "file://" URL or a plain path), without trailing "/".
QString localPath(const QString& location) {
    QString path = location;
    if (location.startsWith(QLatin1String("file:"))) {
        if (const auto url = parseUrl(location); url && url->isLocalFile())
            path = decodedPath(*url);
    }
    path = QDir::cleanPath(path);
    return path;
}

bool alreadyHas(const DockPreset& preset, const QString& type, const QString& path) {
    const QString wanted = localPath(path);
    for (const auto& item : preset.folderStacksArray())
        if (item->effectiveType() == type && localPath(item->path().value_or(QString())) == wanted)
            return true;
    return false;
}

struct Parsed {
    DockPresetManager* manager = nullptr;
    DockPresetPtr preset;
    QStringList positional;
};

// Every item command but move-item: NAME (the preset) and one more positional.
void describe(QCommandLineParser& parser, const QString& description, const QString& second,
              const QString& secondHelp) {
    parser.setApplicationDescription(description);
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset."));
    parser.addPositionalArgument(second, secondHelp);
}

// Parses NAME and the other positionals; null with the exit code in `code` when that failed.
std::optional<Parsed> begin(QCommandLineParser& parser, const QString& sub, const QString& usage, int positionals,
                            const QStringList& args, int* code) {
    if (auto exit = parse(parser, QStringLiteral("preset ") + sub, usage, args)) {
        *code = *exit;
        return std::nullopt;
    }
    Parsed parsed;
    parsed.positional = parser.positionalArguments();
    if (parsed.positional.size() != positionals) {
        *code = usageError(QStringLiteral("Expected %1 arguments.").arg(positionals), usage);
        return std::nullopt;
    }
    return parsed;
}

// Opens the store and finds the preset NAME; false (the failure exit) after printing why.
bool open(Parsed& parsed) {
    const PresetLookup lookup = openPreset(parsed.positional.first());
    parsed.manager = lookup.manager;
    parsed.preset = lookup.preset;
    return parsed.preset != nullptr;
}

int storeFailure(const StoreError& error) {
    err(error.description());
    return kExitFailed;
}

// Runs the store change `add` and reports the new item by `name`.
int addAndReport(const std::function<void()>& add, const QString& name) {
    try {
        add();
    } catch (const StoreError& error) {
        return storeFailure(error);
    }
    out(QStringLiteral("%1 added successfully").arg(name));
    return kExitOk;
}

// Adds the folder or file (`kind`) at PATH, the second positional, through `add`, which gets its file URL.
int addLocalItem(Parsed& parsed, const QString& kind, const std::function<void(const QString& location)>& add) {
    const bool folder = kind == QLatin1String("folder");
    const QFileInfo info(parsed.positional[1]);
    if (!info.exists()) {
        err(QStringLiteral("Item does not exist"));
        return kExitFailed;
    }
    if (info.isDir() != folder) {
        err(QStringLiteral("Not a %1: %2").arg(kind, parsed.positional[1]));
        return kExitFailed;
    }
    if (!open(parsed))
        return kExitFailed;
    const QString location = fileUrlFromPath(info.absoluteFilePath(), folder).toString(QUrl::FullyEncoded);
    if (alreadyHas(*parsed.preset, kind, location)) {
        err(QStringLiteral("This %1 is already in the preset").arg(kind));
        return kExitFailed;
    }
    return addAndReport([&] { add(location); }, info.fileName());
}

int addFolder(const QStringList& args) {
    const QString usage = QStringLiteral("preset add-folder NAME PATH [--display-as stack|folder] "
                                         "[--show-as auto|fan|grid|list] [--sort name|\"date added\"|\"date modified\"|"
                                         "\"date created\"|kind]");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Adds a folder stack at the end of a preset's right-hand items."),
             QStringLiteral("PATH"), QStringLiteral("The folder."));
    const QCommandLineOption displayAs(QStringLiteral("display-as"), QStringLiteral("stack or folder."),
                                       QStringLiteral("STYLE"), QStringLiteral("folder"));
    const QCommandLineOption showAs(QStringLiteral("show-as"), QStringLiteral("auto, fan, grid or list."),
                                    QStringLiteral("VIEW"), QStringLiteral("grid"));
    const QCommandLineOption sort(QStringLiteral("sort"),
                                  QStringLiteral("name, date added, date modified, date created or kind."),
                                  QStringLiteral("ORDER"), QStringLiteral("name"));
    parser.addOptions({displayAs, showAs, sort});
    int code = kExitOk;
    auto parsed = begin(parser, QStringLiteral("add-folder"), usage, 2, args, &code);
    if (!parsed)
        return code;
    const QString d = parser.value(displayAs), s = parser.value(showAs), o = parser.value(sort);
    if (!kDisplayAs.contains(d))
        return usageError(QStringLiteral("Invalid --display-as: %1").arg(d), usage);
    if (!kShowAs.contains(s))
        return usageError(QStringLiteral("Invalid --show-as: %1").arg(s), usage);
    if (!kSortOrders.contains(o))
        return usageError(QStringLiteral("Invalid --sort: %1").arg(o), usage);
    return addLocalItem(*parsed, QStringLiteral("folder"), [&](const QString& location) {
        parsed->manager->addFolderStack(parsed->preset, location, d, s, o);
    });
}

int addFile(const QStringList& args) {
    const QString usage = QStringLiteral("preset add-file NAME PATH [--label L]");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Adds a file at the end of a preset's right-hand items."), QStringLiteral("PATH"),
             QStringLiteral("The file."));
    const QCommandLineOption label(QStringLiteral("label"), QStringLiteral("Label (default: the file name)."),
                                   QStringLiteral("L"));
    parser.addOption(label);
    int code = kExitOk;
    auto parsed = begin(parser, QStringLiteral("add-file"), usage, 2, args, &code);
    if (!parsed)
        return code;
    return addLocalItem(*parsed, QStringLiteral("file"), [&](const QString& location) {
        parsed->manager->addFile(parsed->preset, location,
                                 parser.isSet(label) ? std::optional(parser.value(label)) : std::nullopt);
    });
}

int addUrl(const QStringList& args) {
    const QString usage = QStringLiteral("preset add-url NAME URL --label L");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Adds a web link at the end of a preset's right-hand items."),
             QStringLiteral("URL"), QStringLiteral("The web address."));
    const QCommandLineOption label(QStringLiteral("label"), QStringLiteral("Label shown for the link."),
                                   QStringLiteral("L"));
    parser.addOption(label);
    int code = kExitOk;
    auto parsed = begin(parser, QStringLiteral("add-url"), usage, 2, args, &code);
    if (!parsed)
        return code;
    const QString text = parsed->positional[1].trimmed();
    const QString labelText = parser.value(label).trimmed();
    if (text.isEmpty() || labelText.isEmpty()) {
        err(QStringLiteral("URL and label are required"));
        return kExitFailed;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) {
        err(QStringLiteral("Invalid URL"));
        return kExitFailed;
    }
    if (!open(*parsed))
        return kExitFailed;
    return addAndReport([&] { parsed->manager->addURL(parsed->preset, text, labelText); }, labelText);
}

int moveItem(const QStringList& args) {
    const QString usage = QStringLiteral("preset move-item NAME FROM TO");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Moves a right-hand item; positions count from 0 and TO counts the positions before the move."));
    for (const char* n : {"NAME", "FROM", "TO"})
        parser.addPositionalArgument(QLatin1String(n), QLatin1String(n));
    int code = kExitOk;
    auto parsed = begin(parser, QStringLiteral("move-item"), usage, 3, args, &code);
    if (!parsed)
        return code;
    const auto from = parsePosition(parsed->positional[1]);
    const auto to = parsePosition(parsed->positional[2]);
    if (!from || !to)
        return usageError(QStringLiteral("FROM and TO must be whole numbers from 0."), usage);
    if (!open(*parsed))
        return kExitFailed;
    const qsizetype count = parsed->preset->folderStacks().size();
    if (*from >= count || *to > count) {
        err(QStringLiteral("Invalid item position: the preset has %1 items.").arg(count));
        return kExitFailed;
    }
    try {
        parsed->manager->reorderDockItems(parsed->preset, {*from}, *to);
    } catch (const StoreError& error) {
        return storeFailure(error);
    }
    return kExitOk;
}

int removeItem(const QStringList& args) {
    const QString usage = QStringLiteral("preset remove-item NAME INDEX");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Removes a right-hand item; INDEX counts from 0."), QStringLiteral("INDEX"),
             QStringLiteral("Position of the item."));
    int code = kExitOk;
    auto parsed = begin(parser, QStringLiteral("remove-item"), usage, 2, args, &code);
    if (!parsed)
        return code;
    const auto index = parsePosition(parsed->positional[1]);
    if (!open(*parsed))
        return kExitFailed;
    const QList<DockFolderStackPtr> items = parsed->preset->folderStacksArray();
    if (!index || *index >= items.size()) {
        err(QStringLiteral("Warning: Invalid indices in deleteDockItem"));
        return kExitFailed;
    }
    try {
        parsed->manager->removeDockItem(items[*index]);
        // As the editor does: the remaining items are numbered from 0 again.
        const QList<DockFolderStackPtr> remaining = parsed->preset->folderStacksArray();
        for (qsizetype i = 0; i < remaining.size(); ++i)
            remaining[i]->setOrder(static_cast<qint16>(i));
        parsed->manager->context().save();
    } catch (const StoreError& error) {
        parsed->manager->context().rollback();
        return storeFailure(error);
    }
    return kExitOk;
}

} // namespace

bool isPresetItemCommand(const QString& subcommand) {
    static const QStringList names = {QStringLiteral("add-folder"), QStringLiteral("add-file"),
                                      QStringLiteral("add-url"), QStringLiteral("move-item"),
                                      QStringLiteral("remove-item")};
    return names.contains(subcommand);
}

int runPresetItemCommand(const QString& subcommand, const QStringList& args) {
    if (subcommand == QLatin1String("add-folder"))
        return addFolder(args);
    if (subcommand == QLatin1String("add-file"))
        return addFile(args);
    if (subcommand == QLatin1String("add-url"))
        return addUrl(args);
    if (subcommand == QLatin1String("move-item"))
        return moveItem(args);
    return removeItem(args);
}

} // namespace pierline::cli
