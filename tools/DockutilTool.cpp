// The emulated `dockutil`: edits the Dock's preferences domain (com.apple.dock) with the command
// lines Pierline's writer produces, and "restarts" the Dock like `killall Dock` unless told not to.
#include "DockTiles.h"
#include "ToolSupport.h"
#include "dock/DockTileNames.h"

#include "platform/UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QVariantList>
#include <cstdio>

namespace pierline::tools {
namespace {

constexpr int kExitFailed = 1;

const QString kDockDomain = QStringLiteral("com.apple.dock");
const QString kApps = QStringLiteral("persistent-apps");
const QString kOthers = QStringLiteral("persistent-others");

const char* const kUsage =
    "usage:     dockutil -h\n"
    "usage:     dockutil --add <path to item> | <url> [--type spacer-tile|small-spacer-tile|file|folder|url]\n"
    "                    [--label <label>] [--section apps|others] [--after <path or label>]\n"
    "                    [--view auto|fan|grid|list] [--display stack|folder]\n"
    "                    [--sort name|dateadded|datemodified|datecreated|kind] [--no-restart]\n"
    "usage:     dockutil --remove <path or label> | all [--no-restart]\n"
    "usage:     dockutil --list\n"
    "\n"
    "Apps (.app bundles) go to the apps section, everything else to the others section.\n"
    "\"--sort date added\" (two words, as an unquoted shell word splits it) means --sort dateadded.\n";

struct Options {
    std::optional<QString> add;
    std::optional<QString> remove;
    bool list = false;
    QString type;
    QString section;
    std::optional<QString> after;
    QString label;
    int showAs = 0;      // auto
    int displayAs = 0;   // stack
    int arrangement = 1; // name
    bool restart = true;
};

int fail(const QString& message) {
    printErr(QStringLiteral("dockutil: %1").arg(message));
    return kExitFailed;
}

std::optional<int> viewCode(const QString& v) {
    static const QStringList names = {QStringLiteral("auto"), QStringLiteral("fan"), QStringLiteral("grid"),
                                      QStringLiteral("list")};
    const qsizetype i = names.indexOf(v);
    return i < 0 ? std::nullopt : std::optional<int>(static_cast<int>(i));
}

std::optional<int> displayCode(const QString& v) {
    if (v == QLatin1String("stack"))
        return 0;
    if (v == QLatin1String("folder"))
        return 1;
    return std::nullopt;
}

// dockutil spells the date orders as one word; a stored "date added" arrives unquoted, so
// "date" followed by "added", "modified" or "created" means the same.
std::optional<int> sortCode(QString v) {
    v.remove(QLatin1Char(' '));
    static const QStringList names = {QStringLiteral("name"), QStringLiteral("dateadded"),
                                      QStringLiteral("datemodified"), QStringLiteral("datecreated"),
                                      QStringLiteral("kind")};
    const qsizetype i = names.indexOf(v);
    return i < 0 ? std::nullopt : std::optional<int>(static_cast<int>(i) + 1);
}

// Parses argv into options; nullopt after printing an error (exit status in `status`).
std::optional<Options> parseOptions(const QStringList& args, int& status) {
    Options o;
    status = kExitFailed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size()) {
                fail(QStringLiteral("missing value for %1").arg(arg));
                return std::nullopt;
            }
            return args[++i];
        };
        // The code of an enumerated option's value, or nullopt after saying what was expected.
        const auto coded = [&](const QString& v, std::optional<int> code, const char* expected) {
            if (!code)
                fail(QStringLiteral("invalid %1 %2 (expected %3)").arg(arg, v, QLatin1String(expected)));
            return code;
        };
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            writeOut(kUsage);
            status = 0;
            return std::nullopt;
        } else if (arg == QLatin1String("--version")) {
            writeOut(QByteArrayLiteral("3.1.3\n"));
            status = 0;
            return std::nullopt;
        } else if (arg == QLatin1String("--add") || arg == QLatin1String("-a")) {
            if (!(o.add = value()))
                return std::nullopt;
        } else if (arg == QLatin1String("--remove") || arg == QLatin1String("-r")) {
            if (!(o.remove = value()))
                return std::nullopt;
        } else if (arg == QLatin1String("--list") || arg == QLatin1String("-L")) {
            o.list = true;
        } else if (arg == QLatin1String("--type")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            o.type = *v;
        } else if (arg == QLatin1String("--section")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            if (*v != QLatin1String("apps") && *v != QLatin1String("others")) {
                fail(QStringLiteral("invalid --section %1 (expected apps or others)").arg(*v));
                return std::nullopt;
            }
            o.section = *v;
        } else if (arg == QLatin1String("--after")) {
            if (!(o.after = value()))
                return std::nullopt;
        } else if (arg == QLatin1String("--label")) {
            const auto v = value();
            if (!v)
                return std::nullopt;
            o.label = *v;
        } else if (arg == QLatin1String("--view")) {
            const auto v = value();
            const auto code = v ? coded(*v, viewCode(*v), "auto, fan, grid or list") : std::nullopt;
            if (!code)
                return std::nullopt;
            o.showAs = *code;
        } else if (arg == QLatin1String("--display")) {
            const auto v = value();
            const auto code = v ? coded(*v, displayCode(*v), "stack or folder") : std::nullopt;
            if (!code)
                return std::nullopt;
            o.displayAs = *code;
        } else if (arg == QLatin1String("--sort")) {
            auto v = value();
            if (!v)
                return std::nullopt;
            if (*v == QLatin1String("date") && i + 1 < args.size() &&
                QStringList{QStringLiteral("added"), QStringLiteral("modified"), QStringLiteral("created")}.contains(
                    args[i + 1]))
                *v += args[++i];
            const auto code = coded(*v, sortCode(*v), "name, dateadded, datemodified, datecreated or kind");
            if (!code)
                return std::nullopt;
            o.arrangement = *code;
        } else if (arg == QLatin1String("--no-restart")) {
            o.restart = false;
        } else if (arg.startsWith(QLatin1Char('-'))) {
            fail(QStringLiteral("unknown option %1").arg(arg));
            return std::nullopt;
        } else {
            fail(QStringLiteral("unexpected argument %1").arg(arg));
            return std::nullopt;
        }
    }
    const int actions = (o.add ? 1 : 0) + (o.remove ? 1 : 0) + (o.list ? 1 : 0);
    if (actions != 1) {
        if (actions > 1)
            printErr(QStringLiteral("dockutil: use one of --add, --remove and --list"));
        std::fputs(kUsage, stderr);
        return std::nullopt;
    }
    return o;
}

// The Dock lists of the domain; a list stored as anything else is refused rather than replaced.
std::optional<QVariantList> section(const QVariantMap& values, const QString& key, QString& error) {
    if (!values.contains(key))
        return QVariantList();
    const QVariant v = values.value(key);
    if (v.typeId() != QMetaType::QVariantList) {
        error = QStringLiteral("%1 in the Dock preferences is not an array").arg(key);
        return std::nullopt;
    }
    return v.toList();
}

QString normalisedPath(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool tileMatches(const QVariantMap& tile, const QString& pathOrLabel) {
    const auto path = tilePath(tile);
    if (path && *path == normalisedPath(pathOrLabel))
        return true;
    if (tileLocation(tile) == pathOrLabel)
        return true;
    const QString label = tileLabel(tile);
    return !label.isEmpty() && label == pathOrLabel;
}

bool updateDock(const std::function<bool(QVariantMap&, QString&)>& change, QString& error) {
    QString changeError;
    UserDefaults dock(kDockDomain);
    const bool ok = dock.update([&](QVariantMap& values) { return change(values, changeError); }, &error);
    if (!changeError.isEmpty()) {
        error = changeError;
        return false;
    }
    return ok;
}

int finish(const Options& o) {
    if (!o.restart)
        return 0;
    QString error;
    if (!recordDockRestart(&error))
        return fail(error);
    return 0;
}

int listCommand() {
    const QString plist = UserDefaults(kDockDomain).filePath();
    const DomainContents contents = readDomainFile(plist);
    if (contents.exists && !contents.value)
        return fail(QStringLiteral("%1 is not a property list (%2)").arg(plist, contents.error));
    const QVariantMap values = contents.value ? contents.value->toMap() : QVariantMap();
    QByteArray out;
    for (const QString& key : {kApps, kOthers}) {
        const QString name = key == kApps ? QStringLiteral("persistentApps") : QStringLiteral("persistentOthers");
        for (const QVariant& t : values.value(key).toList()) {
            const QVariantMap tile = t.toMap();
            const QString location = tileLocation(tile);
            out += QStringLiteral("%1\t%2\t%3\t%4\n")
                       .arg(tileLabel(tile),
                            location.isEmpty() ? tile.value(QStringLiteral("tile-type")).toString() : location, name,
                            plist)
                       .toUtf8();
        }
    }
    writeOut(out);
    return 0;
}

int removeCommand(const Options& o) {
    const QString target = *o.remove;
    bool found = false;
    QString error;
    const bool ok = updateDock(
        [&](QVariantMap& values, QString& err) {
            if (target == QLatin1String("all")) {
                values.insert(kApps, QVariantList());
                values.insert(kOthers, QVariantList());
                found = true;
                return true;
            }
            for (const QString& key : {kApps, kOthers}) {
                auto list = section(values, key, err);
                if (!list)
                    return false;
                const qsizetype before = list->size();
                list->removeIf([&](const QVariant& t) { return tileMatches(t.toMap(), target); });
                if (list->size() != before) {
                    found = true;
                    values.insert(key, *list);
                }
            }
            return found;
        },
        error);
    if (!ok)
        return fail(QStringLiteral("cannot update the Dock preferences: %1").arg(error));
    if (!found)
        return fail(QStringLiteral("%1 was not found in %2").arg(target, UserDefaults(kDockDomain).filePath()));
    return finish(o);
}

bool isWebAddress(const QString& text) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(text).hasMatch() && !text.startsWith(QLatin1String("file://"), Qt::CaseInsensitive);
}

int addCommand(const Options& o) {
    QString item = *o.add;
    QVariantMap tile;
    QString defaultSection = QStringLiteral("others");
    std::optional<QString> localPath; // for the duplicate check

    const QString type = o.type;
    static const QStringList spacerTypes = {dock_tiles::kSpacerTile, dock_tiles::kSmallSpacerTile,
                                            dock_tiles::kFlexSpacerTile};
    QString spacerType = type;
    if (!spacerType.isEmpty() && !spacerType.endsWith(QLatin1String("-tile")))
        spacerType += QStringLiteral("-tile");
    if (spacerTypes.contains(spacerType)) {
        tile = spacerTile(spacerType);
        defaultSection = QStringLiteral("apps");
    } else if (type == QLatin1String("url") || (type.isEmpty() && isWebAddress(item))) {
        if (item.isEmpty())
            return fail(QStringLiteral("--add needs a web address"));
        tile = urlTile(item, o.label);
    } else {
        if (!type.isEmpty() && type != QLatin1String("file") && type != QLatin1String("folder"))
            return fail(
                QStringLiteral("unknown --type %1 (expected spacer-tile, small-spacer-tile, file, folder or url)")
                    .arg(type));
        if (item.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) {
            const QUrl url(item);
            if (!url.isValid() || !url.isLocalFile())
                return fail(QStringLiteral("invalid file URL %1").arg(item));
            item = url.toLocalFile();
        }
        if (item.isEmpty())
            return fail(QStringLiteral("--add needs a path"));
        const QFileInfo info(item);
        if (!info.exists())
            return fail(QStringLiteral("%1 does not exist").arg(item));
        const QString path = normalisedPath(QDir::cleanPath(info.absoluteFilePath()));
        localPath = path;
        if (type == QLatin1String("file")) {
            tile = fileTile(path, o.label);
        } else if (type == QLatin1String("folder")) {
            if (!info.isDir())
                return fail(QStringLiteral("%1 is not a folder").arg(item));
            tile = folderTile(path, o.label, o.showAs, o.displayAs, o.arrangement);
        } else if (info.isDir() && path.endsWith(QLatin1String(".app"))) {
            tile = appTile(path, o.label);
            defaultSection = QStringLiteral("apps");
        } else if (info.isDir()) {
            tile = folderTile(path, o.label, o.showAs, o.displayAs, o.arrangement);
        } else {
            tile = fileTile(path, o.label);
        }
    }
    const QString key = (o.section.isEmpty() ? defaultSection : o.section) == QLatin1String("apps") ? kApps : kOthers;

    bool duplicate = false;
    bool afterMissing = false;
    QString error;
    const bool ok = updateDock(
        [&](QVariantMap& values, QString& err) {
            auto list = section(values, key, err);
            if (!list)
                return false;
            if (localPath) {
                for (const QVariant& t : *list) {
                    const auto existing = tilePath(t.toMap());
                    if (existing && *existing == *localPath) {
                        duplicate = true;
                        return false;
                    }
                }
            }
            qsizetype position = list->size();
            if (o.after) {
                qsizetype found = -1;
                for (qsizetype i = 0; i < list->size() && found < 0; ++i)
                    if (tileMatches(list->at(i).toMap(), *o.after))
                        found = i;
                if (found >= 0)
                    position = found + 1;
                else
                    afterMissing = true;
            }
            list->insert(position, tile);
            values.insert(key, *list);
            return true;
        },
        error);
    if (!ok)
        return fail(QStringLiteral("cannot update the Dock preferences: %1").arg(error));
    if (duplicate) {
        // dockutil leaves an item that is already there alone and does not count it as a failure.
        printErr(QStringLiteral("dockutil: %1 already exists in the Dock; not added again").arg(*localPath));
        return 0;
    }
    if (afterMissing)
        printErr(QStringLiteral("dockutil: warning: %1 was not found in the Dock; added at the end").arg(*o.after));
    return finish(o);
}

int run(const QStringList& args) {
    int status = kExitFailed;
    const auto options = parseOptions(args, status);
    if (!options)
        return status;
    if (options->list)
        return listCommand();
    if (options->remove)
        return removeCommand(*options);
    return addCommand(*options);
}

} // namespace
} // namespace pierline::tools

int main(int argc, char** argv) {
    return pierline::tools::run(pierline::tools::argumentsOf(argc, argv));
}
