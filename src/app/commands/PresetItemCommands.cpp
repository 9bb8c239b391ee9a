#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "platform/Log.h"
#include "platform/Url.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
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
std::optional<Parsed> begin(QCommandLineParser& parser, const QString& sub, const QString& usage,
                            const QStringList& names, const QStringList& args, int* code) {
    if (auto exit = parse(parser, QStringLiteral("preset ") + sub, usage, args)) {
        *code = *exit;
        return std::nullopt;
    }
    Parsed parsed;
    parsed.positional = parser.positionalArguments();
    if (parsed.positional.size() != names.size()) {
        *code = usageError(QStringLiteral("Expected %1.").arg(names.join(QLatin1Char(' '))), usage);
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

// Names the list an index counts in, e.g. "preset 'Work' has 2 right-hand items (0 to 1)".
QString itemsOf(const Parsed& parsed) {
    const qsizetype count = parsed.preset->folderStacks().size();
    QString text = QStringLiteral("preset '%1' has %2")
                       .arg(parsed.positional.first(), countOf(count, QStringLiteral("right-hand item")));
    if (count > 0)
        text += QStringLiteral(" (0 to %1)").arg(count - 1);
    return text;
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
        err(QStringLiteral("Item does not exist: %1").arg(parsed.positional[1]));
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
    const QStringList names = {QStringLiteral("NAME"), QStringLiteral("PATH")};
    auto parsed = begin(parser, QStringLiteral("add-folder"), usage, names, args, &code);
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
    auto parsed =
        begin(parser, QStringLiteral("add-file"), usage, {QStringLiteral("NAME"), QStringLiteral("PATH")}, args, &code);
    if (!parsed)
        return code;
    if (parser.isSet(label))
        if (const auto problem = shownTextProblem(parser.value(label), QStringLiteral("label")))
            return usageError(*problem, usage);
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
    auto parsed =
        begin(parser, QStringLiteral("add-url"), usage, {QStringLiteral("NAME"), QStringLiteral("URL")}, args, &code);
    if (!parsed)
        return code;
    if (!parser.isSet(label))
        return usageError(QStringLiteral("add-url needs --label L, the text shown for the link."), usage);
    const QString text = parsed->positional[1].trimmed();
    const QString labelText = parser.value(label).trimmed();
    if (text.isEmpty() || labelText.isEmpty())
        return usageError(QStringLiteral("URL and label are required"), usage);
    if (const auto problem = shownTextProblem(labelText, QStringLiteral("label")))
        return usageError(*problem, usage);
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return usageError(QStringLiteral("Invalid URL: %1 (%2)").arg(text, url.errorString()), usage);
    // "example.com" parses as a relative URL; the Dock needs an absolute one.
    if (url.scheme().isEmpty())
        return usageError(QStringLiteral("Invalid URL: %1 has no scheme; did you mean https://%1 ?").arg(text), usage);
    if (!open(*parsed))
        return kExitFailed;
    return addAndReport([&] { parsed->manager->addURL(parsed->preset, text, labelText); }, labelText);
}

int moveItem(const QStringList& args) {
    const QString usage = QStringLiteral("preset move-item NAME FROM TO");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Moves a right-hand item; positions count from 0 and TO counts the positions before the move."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset."));
    parser.addPositionalArgument(QStringLiteral("FROM"), QStringLiteral("Position of the item."));
    parser.addPositionalArgument(QStringLiteral("TO"),
                                 QStringLiteral("Where it goes, counting the positions before the move."));
    int code = kExitOk;
    auto parsed = begin(parser, QStringLiteral("move-item"), usage,
                        {QStringLiteral("NAME"), QStringLiteral("FROM"), QStringLiteral("TO")}, args, &code);
    if (!parsed)
        return code;
    const auto from = parsePosition(parsed->positional[1]);
    if (!from)
        return usageError(positionError(QStringLiteral("FROM"), parsed->positional[1]), usage);
    const auto to = parsePosition(parsed->positional[2]);
    if (!to)
        return usageError(positionError(QStringLiteral("TO"), parsed->positional[2]), usage);
    if (!open(*parsed))
        return kExitFailed;
    const qsizetype count = parsed->preset->folderStacks().size();
    if (*from >= count) {
        err(QStringLiteral("FROM %1 is out of range: %2.").arg(*from).arg(itemsOf(*parsed)));
        return kExitFailed;
    }
    if (*to > count) {
        // TO counts the positions before the move, so one past the last item is allowed.
        err(QStringLiteral("TO %1 is out of range: preset '%2' has %3, so TO can be 0 to %4.")
                .arg(*to)
                .arg(parsed->positional.first(), countOf(count, QStringLiteral("right-hand item")))
                .arg(count));
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
    auto parsed = begin(parser, QStringLiteral("remove-item"), usage, {QStringLiteral("NAME"), QStringLiteral("INDEX")},
                        args, &code);
    if (!parsed)
        return code;
    const auto index = parsePosition(parsed->positional[1]);
    if (!index)
        return usageError(positionError(QStringLiteral("INDEX"), parsed->positional[1]), usage);
    if (!open(*parsed))
        return kExitFailed;
    const QList<DockFolderStackPtr> items = parsed->preset->folderStacksArray();
    if (*index >= items.size()) {
        printLine(QStringLiteral("Warning: Invalid indices in deleteDockItem"));
        err(QStringLiteral("INDEX %1 is out of range: %2.").arg(*index).arg(itemsOf(*parsed)));
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

QString positionError(const QString& name, const QString& text) {
    static const QRegularExpression number(QStringLiteral("^(-?)[0-9]+$"));
    if (const auto match = number.match(text.trimmed()); match.hasMatch()) {
        if (!match.captured(1).isEmpty())
            return QStringLiteral("%1 must be 0 or more, got %2.").arg(name, text);
        return QStringLiteral("%1 is too large: %2.").arg(name, text);
    }
    return QStringLiteral("%1 must be a whole number, 0 or more, got '%2'.").arg(name, text);
}

QString countOf(qsizetype count, const QString& noun) {
    return QStringLiteral("%1 %2%3").arg(count).arg(noun, count == 1 ? QString() : QStringLiteral("s"));
}

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
