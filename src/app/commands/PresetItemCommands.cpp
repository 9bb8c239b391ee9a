#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "core/PresetRecord.h"
#include "editor/PresetEditor.h"
#include "platform/DesktopEntry.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"
#include "platform/Terminal.h"
#include "platform/Url.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "targets/DockTarget.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <functional>

namespace pierline::cli {
namespace {

const QStringList kDisplayAs = {QStringLiteral("stack"), QStringLiteral("folder")};
const QStringList kShowAs = {QStringLiteral("auto"), QStringLiteral("fan"), QStringLiteral("grid"),
                             QStringLiteral("list")};
const QStringList kSortOrders = {QStringLiteral("name"), QStringLiteral("date added"), QStringLiteral("date modified"),
                                 QStringLiteral("date created"), QStringLiteral("kind")};

const QString kUpdateQuestion =
    QStringLiteral("This will replace all content with your current dock layout. This action cannot be undone.");
const QString kNotUpdatedWithoutTerminal = QStringLiteral("Not updated (no terminal; pass --yes)");

// One call's editor: the preset, the dock it is edited for and the toasts it prints.
struct Session {
    DockPresetManager* manager = nullptr;
    DockPresetPtr preset;
    std::unique_ptr<DockTarget> target;
    CommandToasts toasts;
    std::unique_ptr<PresetEditor> editor;
};

// Opens the store and the editor on the preset NAME; null after printing why.
std::unique_ptr<Session> openEditor(const QString& name) {
    auto session = std::make_unique<Session>();
    const PresetLookup lookup = openPreset(name);
    if (!lookup.preset)
        return nullptr;
    session->manager = lookup.manager;
    session->preset = lookup.preset;
    session->target = currentDockTarget();
    session->editor =
        std::make_unique<PresetEditor>(*session->manager, session->preset, *session->target, session->toasts);
    return session;
}

// Lets the editor's timers run out: a spacer's delayed write, a reload after a deletion.
void awaitPendingWork(const PresetEditor& editor) {
    QEventLoop loop;
    while (editor.hasPendingWork())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
}

// The exit of an editor operation: failed when it said no or showed an error toast.
int outcome(const Session& session, bool done) {
    return done && !session.toasts.failed() ? kExitOk : kExitFailed;
}

// Parses NAME and the other positionals; nullopt with the exit code in `code` when that failed.
std::optional<QStringList> positionals(QCommandLineParser& parser, const QString& sub, const QString& usage,
                                       const QStringList& names, const QStringList& args, int* code,
                                       bool moreAllowed = false) {
    if (auto exit = parse(parser, QStringLiteral("preset ") + sub, usage, args)) {
        *code = *exit;
        return std::nullopt;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < names.size() || (!moreAllowed && positional.size() != names.size())) {
        *code = usageError(QStringLiteral("Expected %1.").arg(names.join(QLatin1Char(' '))), usage);
        return std::nullopt;
    }
    return positional;
}

void describe(QCommandLineParser& parser, const QString& description, const QString& second,
              const QString& secondHelp) {
    parser.setApplicationDescription(description);
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset."));
    if (!second.isEmpty())
        parser.addPositionalArgument(second, secondHelp);
}

// Every INDEX as a number; nullopt with the usage exit in `code` for one that is not.
std::optional<QList<int>> indicesOf(const QStringList& texts, const QString& usage, int* code) {
    QList<int> out;
    for (const QString& text : texts) {
        const auto index = parsePosition(text);
        if (!index) {
            *code = usageError(positionError(QStringLiteral("INDEX"), text), usage);
            return std::nullopt;
        }
        out.append(*index);
    }
    return out;
}

// e.g. "preset 'Work' has 2 right-hand items (0 to 1)".
QString countIn(const QString& preset, qsizetype count, const QString& noun) {
    QString text = QStringLiteral("preset '%1' has %2").arg(preset, countOf(count, noun));
    if (count > 0)
        text += QStringLiteral(" (0 to %1)").arg(count - 1);
    return text;
}

QString itemNoun(DockItemFilter filter) {
    switch (filter) {
    case DockItemFilter::Folders:
        return QStringLiteral("folder");
    case DockItemFilter::Files:
        return QStringLiteral("file");
    case DockItemFilter::Urls:
        return QStringLiteral("web link");
    case DockItemFilter::All:
        break;
    }
    return QStringLiteral("right-hand item");
}

// The first index outside 0..count-1, if any.
std::optional<int> outOfRange(const QList<int>& indices, qsizetype count) {
    for (int index : indices)
        if (index >= count)
            return index;
    return std::nullopt;
}

const QCommandLineOption& filterOption() {
    static const QCommandLineOption option(
        QStringLiteral("filter"), QStringLiteral("Count in the items shown under all, folders, files or urls."),
        QStringLiteral("KIND"), QStringLiteral("all"));
    return option;
}

const QCommandLineOption& atOption() {
    static const QCommandLineOption option(
        QStringLiteral("at"), QStringLiteral("Position in the list before the change, from 0 (default: the end)."),
        QStringLiteral("N"));
    return option;
}

// --filter KIND; nullopt after the usage error (in `code`).
std::optional<DockItemFilter> filterFrom(const QCommandLineParser& parser, const QString& usage, int* code) {
    const QString kind = parser.value(filterOption());
    const auto filter = dockItemFilterNamed(kind);
    if (!filter)
        *code = usageError(QStringLiteral("Invalid --filter: %1 (all, folders, files or urls)").arg(kind), usage);
    return filter;
}

// --at N when given; `ok` false after the usage error (in `code`).
std::optional<int> atFrom(const QCommandLineParser& parser, const QString& usage, int* code, bool* ok) {
    *ok = true;
    if (!parser.isSet(atOption()))
        return std::nullopt;
    const auto at = parsePosition(parser.value(atOption()));
    if (!at) {
        *ok = false;
        *code = usageError(positionError(QStringLiteral("--at"), parser.value(atOption())), usage);
    }
    return at;
}

// A command-line PATH as a file URL: relative paths mean the working folder.
QUrl localUrl(const QString& text) {
    if (text.startsWith(QLatin1String("file:"))) {
        if (const auto url = parseUrl(text))
            return *url;
    }
    return QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
}

// APP as the editor takes it: a bundle (path, file URL or name in the applications folder), or on
// a dock of desktop files a desktop file (path, file URL or desktop ID).
QUrl appUrl(const QString& app, const DockTarget& target) {
    const bool located = app.startsWith(QLatin1Char('/')) || app.startsWith(QLatin1String("file:")) ||
                         app.startsWith(QLatin1Char('.')) || app.contains(QLatin1Char('/'));
    if (located)
        return localUrl(app);
    if (target.appKind() == DockAppKind::DesktopFile) {
        if (isDesktopFilePath(app))
            if (const auto path = findDesktopFile(app))
                return QUrl::fromLocalFile(*path);
        return localUrl(app);
    }
    const QString name = app.endsWith(QLatin1String(".app")) ? app : app + QStringLiteral(".app");
    const QString inApplications = QDir(SystemPaths::applicationsFolder()).filePath(name);
    return QUrl::fromLocalFile(QFileInfo::exists(inApplications) ? inApplications : QFileInfo(app).absoluteFilePath());
}

int addApp(const QStringList& args) {
    const QString usage = QStringLiteral("preset add-app NAME APP [--at N]");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Adds an app to a preset's app list, as a drop on the list."),
             QStringLiteral("APP"),
             QStringLiteral("A bundle (or on GNOME and Plank a desktop file): path, file URL or name."));
    parser.addOption(atOption());
    int code = kExitOk;
    const auto p = positionals(parser, QStringLiteral("add-app"), usage, {"NAME", "APP"}, args, &code);
    if (!p)
        return code;
    bool ok = true;
    const auto at = atFrom(parser, usage, &code, &ok);
    if (!ok)
        return code;
    auto session = openEditor((*p)[0]);
    if (!session)
        return kExitFailed;
    const QUrl url = appUrl((*p)[1], *session->target);
    session->toasts.setDetail(url.isLocalFile() ? decodedPath(url) : (*p)[1]);
    if (!session->editor->addApplication(url, at))
        return kExitFailed;
    return outcome(*session, session->editor->save());
}

int addSpacer(const QStringList& args) {
    const QString usage = QStringLiteral("preset add-spacer NAME [--small]");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Appends a spacer to a preset's app list."), {}, {});
    const QCommandLineOption small(QStringLiteral("small"), QStringLiteral("A small spacer."));
    parser.addOption(small);
    int code = kExitOk;
    const auto p = positionals(parser, QStringLiteral("add-spacer"), usage, {"NAME"}, args, &code);
    if (!p)
        return code;
    auto session = openEditor((*p)[0]);
    if (!session)
        return kExitFailed;
    if (parser.isSet(small))
        session->editor->addSmallSpacer();
    else
        session->editor->addSpacer();
    awaitPendingWork(*session->editor);
    return outcome(*session, !session->editor->delayedWriteError());
}

int addCustomSpacer(const QStringList& args) {
    const QString usage = QStringLiteral("preset add-custom-spacer NAME SPACER");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Appends a custom spacer of this home to a preset's app list."),
             QStringLiteral("SPACER"), QStringLiteral("Its bundle in CustomSpaces: name, path or file URL."));
    int code = kExitOk;
    const auto p = positionals(parser, QStringLiteral("add-custom-spacer"), usage, {"NAME", "SPACER"}, args, &code);
    if (!p)
        return code;
    const QString spacer = (*p)[1];
    QUrl bundle;
    if (spacer.contains(QLatin1Char('/')) || spacer.startsWith(QLatin1String("file:")))
        bundle = localUrl(SystemPaths::expandingTilde(spacer));
    else
        bundle = QUrl::fromLocalFile(QDir(SystemPaths::customSpacesFolder())
                                         .filePath(spacer.endsWith(QLatin1String(".app")) ? spacer : spacer + ".app"));
    auto session = openEditor((*p)[0]);
    if (!session)
        return kExitFailed;
    session->toasts.setDetail(bundle.isLocalFile() ? decodedPath(bundle) : spacer);
    if (!session->editor->addCustomSpacer(bundle))
        return kExitFailed;
    return outcome(*session, session->editor->save());
}

int removeApp(const QStringList& args) {
    const QString usage = QStringLiteral("preset remove-app NAME I... [--delete-app-file]");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Removes apps from a preset's app list; I counts from 0."), QStringLiteral("I"),
             QStringLiteral("Positions in the app list."));
    const QCommandLineOption deleteFile(QStringLiteral("delete-app-file"),
                                        QStringLiteral("For a custom spacer, also delete its app from disk."));
    parser.addOption(deleteFile);
    int code = kExitOk;
    const auto p = positionals(parser, QStringLiteral("remove-app"), usage, {"NAME", "I"}, args, &code, true);
    if (!p)
        return code;
    const auto indices = indicesOf(p->mid(1), usage, &code);
    if (!indices)
        return code;
    auto session = openEditor((*p)[0]);
    if (!session)
        return kExitFailed;
    const qsizetype count = session->editor->apps().size();
    if (const auto bad = outOfRange(*indices, count)) {
        err(QStringLiteral("INDEX %1 is out of range: %2.").arg(*bad).arg(countIn((*p)[0], count, "app")));
        return kExitFailed;
    }
    const CustomSpacerChoice choice =
        parser.isSet(deleteFile) ? CustomSpacerChoice::DeleteAppFileToo : CustomSpacerChoice::RemoveFromPresetOnly;
    // The spacer commands belong to the app executable, which draws; its delete checks that the
    // bundle is one of this home's spacers.
    session->editor->setSpacerFileRemover([](const QString& entry) -> std::optional<QString> {
        QProcess remover;
        remover.start(SystemPaths::commandPath(), {QStringLiteral("spacer"), QStringLiteral("delete"), entry});
        if (!remover.waitForFinished(60000)) {
            remover.kill();
            remover.waitForFinished();
            return QStringLiteral("Deleting the spacer's app file did not finish: %1").arg(entry);
        }
        if (remover.exitStatus() == QProcess::NormalExit && remover.exitCode() == 0)
            return std::nullopt;
        const QString reason = QString::fromUtf8(remover.readAllStandardError()).trimmed();
        return reason.isEmpty() ? QStringLiteral("Could not delete the spacer's app file: %1").arg(entry) : reason;
    });
    if (!session->editor->deleteApps(*indices, [choice](const QString&) { return choice; }))
        return kExitFailed;
    return outcome(*session, session->editor->save());
}

// Adds the folder or file PATH through `add` once `check` (the options' usage errors) passed; the
// refusals name the path.
int addLocalItem(const QStringList& args, const QString& sub, const QString& usage, QCommandLineParser& parser,
                 const std::function<std::optional<int>()>& check,
                 const std::function<bool(PresetEditor&, const QUrl&, std::optional<int>)>& add) {
    int code = kExitOk;
    const auto p = positionals(parser, sub, usage, {"NAME", "PATH"}, args, &code);
    if (!p)
        return code;
    if (const auto exit = check())
        return *exit;
    bool ok = true;
    const auto at = atFrom(parser, usage, &code, &ok);
    if (!ok)
        return code;
    const auto filter = filterFrom(parser, usage, &code);
    if (!filter)
        return code;
    auto session = openEditor((*p)[0]);
    if (!session)
        return kExitFailed;
    session->editor->setFilter(*filter);
    session->toasts.setDetail((*p)[1]);
    return outcome(*session, add(*session->editor, localUrl((*p)[1]), at));
}

QString folderUsage() {
    return QStringLiteral("preset add-folder NAME PATH [--at N] [--filter KIND] [--display-as stack|folder] "
                          "[--show-as auto|fan|grid|list] [--sort name|\"date added\"|\"date modified\"|"
                          "\"date created\"|kind]");
}

int addFolder(const QStringList& args) {
    const QString usage = folderUsage();
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Adds a folder stack to a preset's right-hand items (at the end by default)."),
             QStringLiteral("PATH"), QStringLiteral("The folder."));
    const QCommandLineOption displayAs(QStringLiteral("display-as"), QStringLiteral("stack or folder."),
                                       QStringLiteral("STYLE"), QStringLiteral("folder"));
    const QCommandLineOption showAs(QStringLiteral("show-as"), QStringLiteral("auto, fan, grid or list."),
                                    QStringLiteral("VIEW"), QStringLiteral("grid"));
    const QCommandLineOption sort(QStringLiteral("sort"),
                                  QStringLiteral("name, date added, date modified, date created or kind."),
                                  QStringLiteral("ORDER"), QStringLiteral("name"));
    parser.addOptions({atOption(), filterOption(), displayAs, showAs, sort});
    const auto check = [&]() -> std::optional<int> {
        const QString d = parser.value(displayAs), s = parser.value(showAs), o = parser.value(sort);
        if (!kDisplayAs.contains(d))
            return usageError(QStringLiteral("Invalid --display-as: %1").arg(d), usage);
        if (!kShowAs.contains(s))
            return usageError(QStringLiteral("Invalid --show-as: %1").arg(s), usage);
        if (!kSortOrders.contains(o))
            return usageError(QStringLiteral("Invalid --sort: %1").arg(o), usage);
        return std::nullopt;
    };
    return addLocalItem(
        args, QStringLiteral("add-folder"), usage, parser, check,
        [&](PresetEditor& editor, const QUrl& url, std::optional<int> at) {
            return editor.addFolder(url, at, {parser.value(displayAs), parser.value(showAs), parser.value(sort)});
        });
}

int addFile(const QStringList& args) {
    const QString usage = QStringLiteral("preset add-file NAME PATH [--at N] [--filter KIND] [--label L]");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Adds a file to a preset's right-hand items (at the end by default)."),
             QStringLiteral("PATH"), QStringLiteral("The file."));
    const QCommandLineOption label(QStringLiteral("label"), QStringLiteral("Label (default: the file name)."),
                                   QStringLiteral("L"));
    parser.addOptions({atOption(), filterOption(), label});
    const auto check = [&]() -> std::optional<int> {
        if (parser.isSet(label))
            if (const auto problem = shownTextProblem(parser.value(label), QStringLiteral("label")))
                return usageError(*problem, usage);
        return std::nullopt;
    };
    return addLocalItem(args, QStringLiteral("add-file"), usage, parser, check,
                        [&](PresetEditor& editor, const QUrl& url, std::optional<int> at) {
                            return editor.addFile(
                                url, at, parser.isSet(label) ? std::optional(parser.value(label)) : std::nullopt);
                        });
}

int addUrl(const QStringList& args) {
    const QString usage = QStringLiteral("preset add-url NAME URL --label L");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Adds a web link at the end of a preset's right-hand items."),
             QStringLiteral("URL"), QStringLiteral("The address: http://, https:// or file://."));
    const QCommandLineOption label(QStringLiteral("label"), QStringLiteral("Label shown for the link."),
                                   QStringLiteral("L"));
    parser.addOption(label);
    int code = kExitOk;
    const auto p = positionals(parser, QStringLiteral("add-url"), usage, {"NAME", "URL"}, args, &code);
    if (!p)
        return code;
    if (!parser.isSet(label))
        return usageError(QStringLiteral("add-url needs --label L, the text shown for the link."), usage);
    const QString text = (*p)[1].trimmed();
    const QString labelText = parser.value(label).trimmed();
    if (text.isEmpty() || labelText.isEmpty())
        return usageError(QStringLiteral("URL and label are required"), usage);
    if (const auto problem = shownTextProblem(labelText, QStringLiteral("label")))
        return usageError(*problem, usage);
    // Qt's parser text names its own internals; the address alone tells the user what to fix.
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return usageError(QStringLiteral("Invalid URL: %1 is not a valid address.").arg(text), usage);
    // "example.com" parses as a relative URL; the Dock needs an absolute one.
    if (url.scheme().isEmpty())
        return usageError(QStringLiteral("Invalid URL: %1 has no scheme; did you mean https://%1 ?").arg(text), usage);
    // The Dock opens a link in the browser or a file manager; other schemes would only fail there.
    static const QStringList opened = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file")};
    if (!opened.contains(url.scheme()))
        return usageError(
            QStringLiteral("Invalid URL: %1 uses the %2: scheme; a Dock link is a web address (http:// or "
                           "https://) or a file:// URL.")
                .arg(text, url.scheme()),
            usage);
    auto session = openEditor((*p)[0]);
    if (!session)
        return kExitFailed;
    return outcome(*session, session->editor->addURL(text, labelText));
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
    const auto p = positionals(parser, QStringLiteral("move-item"), usage, {"NAME", "FROM", "TO"}, args, &code);
    if (!p)
        return code;
    const auto from = parsePosition((*p)[1]);
    if (!from)
        return usageError(positionError(QStringLiteral("FROM"), (*p)[1]), usage);
    const auto to = parsePosition((*p)[2]);
    if (!to)
        return usageError(positionError(QStringLiteral("TO"), (*p)[2]), usage);
    auto session = openEditor((*p)[0]);
    if (!session)
        return kExitFailed;
    const qsizetype count = session->editor->shownItems().size();
    if (*from >= count) {
        err(QStringLiteral("FROM %1 is out of range: %2.").arg(*from).arg(countIn((*p)[0], count, "right-hand item")));
        return kExitFailed;
    }
    if (*to > count) {
        // TO counts the positions before the move, so one past the last item is allowed.
        err(QStringLiteral("TO %1 is out of range: preset '%2' has %3, so TO can be 0 to %4.")
                .arg(*to)
                .arg((*p)[0], countOf(count, QStringLiteral("right-hand item")))
                .arg(count));
        return kExitFailed;
    }
    return outcome(*session, session->editor->moveDockItem(*from, *to));
}

int removeItem(const QStringList& args) {
    const QString usage = QStringLiteral("preset remove-item NAME I... [--filter KIND]");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Removes right-hand items; I counts from 0 in the list shown under --filter."),
             QStringLiteral("I"), QStringLiteral("Positions of the items."));
    parser.addOption(filterOption());
    int code = kExitOk;
    const auto p = positionals(parser, QStringLiteral("remove-item"), usage, {"NAME", "I"}, args, &code, true);
    if (!p)
        return code;
    const auto indices = indicesOf(p->mid(1), usage, &code);
    if (!indices)
        return code;
    const auto filter = filterFrom(parser, usage, &code);
    if (!filter)
        return code;
    auto session = openEditor((*p)[0]);
    if (!session)
        return kExitFailed;
    PresetEditor& editor = *session->editor;
    editor.setFilter(*filter);
    const qsizetype count = editor.shownItems().size();
    const bool done = *filter == DockItemFilter::Urls ? editor.deleteURLs(*indices) : editor.deleteDockItems(*indices);
    if (!done) {
        if (const auto bad = outOfRange(*indices, count))
            err(QStringLiteral("INDEX %1 is out of range: %2.")
                    .arg(*bad)
                    .arg(countIn((*p)[0], count, itemNoun(*filter))));
        return kExitFailed;
    }
    awaitPendingWork(editor);
    return kExitOk;
}

int itemSettings(const QStringList& args) {
    const QString usage = QStringLiteral("preset item-settings NAME I [--display-as stack|folder] "
                                         "[--show-as auto|fan|grid|list] [--sort name|\"date added\"|\"date modified\"|"
                                         "\"date created\"|kind]");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Changes a right-hand item's stack settings; values not given stay."),
             QStringLiteral("I"), QStringLiteral("Position of the item, from 0."));
    const QCommandLineOption displayAs(QStringLiteral("display-as"), QStringLiteral("stack or folder."),
                                       QStringLiteral("D"));
    const QCommandLineOption showAs(QStringLiteral("show-as"), QStringLiteral("auto, fan, grid or list."),
                                    QStringLiteral("S"));
    const QCommandLineOption sort(QStringLiteral("sort"),
                                  QStringLiteral("name, date added, date modified, date created or kind."),
                                  QStringLiteral("O"));
    parser.addOptions({displayAs, showAs, sort});
    int code = kExitOk;
    const auto p = positionals(parser, QStringLiteral("item-settings"), usage, {"NAME", "I"}, args, &code);
    if (!p)
        return code;
    const auto index = parsePosition((*p)[1]);
    if (!index)
        return usageError(positionError(QStringLiteral("INDEX"), (*p)[1]), usage);
    if (parser.isSet(displayAs) && !kDisplayAs.contains(parser.value(displayAs)))
        return usageError(QStringLiteral("Invalid --display-as: %1").arg(parser.value(displayAs)), usage);
    if (parser.isSet(showAs) && !kShowAs.contains(parser.value(showAs)))
        return usageError(QStringLiteral("Invalid --show-as: %1").arg(parser.value(showAs)), usage);
    if (parser.isSet(sort) && !kSortOrders.contains(parser.value(sort)))
        return usageError(QStringLiteral("Invalid --sort: %1").arg(parser.value(sort)), usage);
    auto session = openEditor((*p)[0]);
    if (!session)
        return kExitFailed;
    const QList<DockFolderStackPtr> items = session->editor->shownItems();
    if (*index >= items.size()) {
        err(QStringLiteral("INDEX %1 is out of range: %2.")
                .arg(*index)
                .arg(countIn((*p)[0], items.size(), "right-hand item")));
        return kExitFailed;
    }
    const DockFolderStackPtr& item = items[*index];
    const auto keep = [&](const QCommandLineOption& option, const QString& current) {
        return parser.isSet(option) ? parser.value(option) : current;
    };
    return outcome(*session,
                   session->editor->updateItemSettings(item, keep(displayAs, item->displayAs()),
                                                       keep(showAs, item->showAs()), keep(sort, item->sortOrder())));
}

// Reads Update or Cancel from the terminal.
bool confirmUpdateOnTerminal() {
    err(kUpdateQuestion);
    err(QStringLiteral("Type Update to go on, anything else to cancel:"));
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed();
    return answer.compare(QLatin1String("update"), Qt::CaseInsensitive) == 0;
}

int updateFromDock(const QStringList& args) {
    const QString usage = QStringLiteral("preset update-from-dock NAME [--yes]");
    QCommandLineParser parser;
    describe(parser, QStringLiteral("Replaces a preset's apps and items with the current Dock's."), {}, {});
    const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Answer Update to the confirmation."));
    parser.addOption(yes);
    int code = kExitOk;
    const auto p = positionals(parser, QStringLiteral("update-from-dock"), usage, {"NAME"}, args, &code);
    if (!p)
        return code;
    // The caller has asked before the command got here (askBeforeRunning); without an answer
    // nothing is replaced.
    if (!parser.isSet(yes)) {
        err(kNotUpdatedWithoutTerminal);
        return kExitFailed;
    }
    auto session = openEditor((*p)[0]);
    if (!session)
        return kExitFailed;
    return outcome(*session, session->editor->updateFromCurrentDock());
}

} // namespace

CommandToasts::CommandToasts(bool successesOnStderr) : successesOnStderr_(successesOnStderr) {}

void CommandToasts::showToast(const Toast& toast) {
    if (toast.success) {
        if (successesOnStderr_)
            err(toast.message);
        else
            out(toast.message);
        return;
    }
    failed_ = true;
    // A sentence of its own stays as it is; a short refusal names what it refused.
    const bool sentence = toast.message.endsWith(QLatin1Char('.')) || toast.message.endsWith(QLatin1Char(')'));
    err(detail_.isEmpty() || sentence ? toast.message : QStringLiteral("%1: %2").arg(toast.message, detail_));
}

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

namespace {

const QHash<QString, std::function<int(const QStringList&)>>& itemCommands() {
    static const QHash<QString, std::function<int(const QStringList&)>> commands = {
        {QStringLiteral("add-folder"), addFolder},
        {QStringLiteral("add-file"), addFile},
        {QStringLiteral("add-url"), addUrl},
        {QStringLiteral("move-item"), moveItem},
        {QStringLiteral("remove-item"), removeItem},
        {QStringLiteral("add-app"), addApp},
        {QStringLiteral("add-spacer"), addSpacer},
        {QStringLiteral("add-custom-spacer"), addCustomSpacer},
        {QStringLiteral("remove-app"), removeApp},
        {QStringLiteral("item-settings"), itemSettings},
        {QStringLiteral("update-from-dock"), updateFromDock},
    };
    return commands;
}

} // namespace

bool isPresetItemCommand(const QString& subcommand) {
    return itemCommands().contains(subcommand);
}

int runPresetItemCommand(const QString& subcommand, const QStringList& args) {
    return itemCommands().value(subcommand)(args);
}

std::optional<int> askBeforeRunning(QStringList& args) {
    // Only `preset update-from-dock NAME` asks; its answer travels as --yes.
    QStringList words;
    for (const QString& a : args) {
        if (a == QLatin1String("--"))
            break;
        if (isHelp(a) || a == QLatin1String("--yes"))
            return std::nullopt;
        if (!a.startsWith(QLatin1Char('-')))
            words.append(a);
    }
    if (words.size() < 3 || words[0] != QLatin1String("preset") || words[1] != QLatin1String("update-from-dock"))
        return std::nullopt;
    if (!standardInputIsTerminal()) {
        err(kNotUpdatedWithoutTerminal);
        return kExitFailed;
    }
    if (!confirmUpdateOnTerminal()) {
        err(QStringLiteral("Not updated."));
        return kExitFailed;
    }
    const qsizetype end = args.indexOf(QStringLiteral("--"));
    args.insert(end < 0 ? args.size() : end, QStringLiteral("--yes"));
    return std::nullopt;
}

} // namespace pierline::cli
