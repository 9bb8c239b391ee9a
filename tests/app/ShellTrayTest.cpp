// `pierline run` on the test display with the xcb platform, on the private session bus this
// suite runs in (dbus-run-session): a stand-in StatusNotifierWatcher gets the status item, whose
// dbusmenu layout is read and clicked; without the watcher the item has no host; a stand-in
// logind on a private system bus wakes the app; windows carry the task bar state.
#include "support/EventLoop.h"
#include "support/PierlineCli.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace pierline::test;

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kLeanLink = QStringLiteral("https://lean.example/");

// The desktop's watcher: it says a host is there and records the items that register.
class FakeWatcher : public QDBusVirtualObject {
public:
    FakeWatcher() : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-watcher"))) {}
    ~FakeWatcher() override {
        bus_.unregisterService(kWatcherService);
        bus_.unregisterObject(kWatcherPath);
    }
    bool start() {
        return bus_.isConnected() && bus_.registerVirtualObject(kWatcherPath, this) &&
               bus_.registerService(kWatcherService);
    }

    QStringList items; // "service" or "service/path" as registered

    QString introspect(const QString&) const override {
        return QStringLiteral("<interface name=\"org.kde.StatusNotifierWatcher\">"
                              "<method name=\"RegisterStatusNotifierItem\"><arg type=\"s\" direction=\"in\"/></method>"
                              "<method name=\"RegisterStatusNotifierHost\"><arg type=\"s\" direction=\"in\"/></method>"
                              "<property name=\"RegisteredStatusNotifierItems\" type=\"as\" access=\"read\"/>"
                              "<property name=\"IsStatusNotifierHostRegistered\" type=\"b\" access=\"read\"/>"
                              "<property name=\"ProtocolVersion\" type=\"i\" access=\"read\"/>"
                              "</interface>");
    }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString member = message.member();
        if (member == QLatin1String("RegisterStatusNotifierItem")) {
            const QString what = message.arguments().value(0).toString();
            // A bare path means the sender's own name.
            items.append(what.startsWith('/') ? message.service() + what : what);
            connection.send(message.createReply());
        } else if (member == QLatin1String("RegisterStatusNotifierHost")) {
            connection.send(message.createReply());
        } else if (member == QLatin1String("Get")) {
            connection.send(message.createReply(
                QVariant::fromValue(QDBusVariant(property(message.arguments().value(1).toString())))));
        } else if (member == QLatin1String("GetAll")) {
            QVariantMap all;
            for (const char* name :
                 {"RegisteredStatusNotifierItems", "IsStatusNotifierHostRegistered", "ProtocolVersion"})
                all.insert(name, property(name));
            connection.send(message.createReply(all));
        } else {
            return false;
        }
        return true;
    }

private:
    QVariant property(const QString& name) const {
        if (name == QLatin1String("IsStatusNotifierHostRegistered"))
            return true;
        if (name == QLatin1String("ProtocolVersion"))
            return 0;
        return items;
    }
    QDBusConnection bus_;
};

struct MenuNode {
    int id = 0;
    QVariantMap properties;
    QList<MenuNode> children;
};

MenuNode readNode(const QDBusArgument& argument) {
    MenuNode node;
    argument.beginStructure();
    argument >> node.id >> node.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        node.children.append(readNode(child.variant().value<QDBusArgument>()));
    }
    argument.endArray();
    argument.endStructure();
    return node;
}

QString label(const MenuNode& node) {
    if (node.properties.value("type").toString() == QLatin1String("separator"))
        return QStringLiteral("---");
    return node.properties.value("label").toString();
}

class ShellTray : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "this suite runs under dbus-run-session";
        ASSERT_FALSE(qgetenv("DISPLAY").isEmpty()) << "this suite needs an X display; run it under xvfb-run";
        ASSERT_TRUE(dir_.isValid());
        env_ = privateHomeEnvironment(dir_);
        env_.insert("QT_QPA_PLATFORM", "xcb");
        for (const QStringList& args : {QStringList{"sandbox", "init"}, QStringList{"preset", "create", "Lean"},
                                        QStringList{"preset", "add-url", "Lean", kLeanLink, "--label", "Lean"},
                                        QStringList{"shortcut", "set", "Lean", "cmd+opt+one"}}) {
            const CliRun run = runPierline(args, env_);
            ASSERT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << ": " << run.err.toStdString();
        }
    }
    void TearDown() override {
        stopPierline(app_.get(), env_);
        if (systemBus_) {
            systemBus_->kill();
            systemBus_->waitForFinished();
        }
    }

    QJsonObject status() const {
        return QJsonDocument::fromJson(runPierline({"status", "--json"}, env_).out.toUtf8()).object();
    }
    void startApp() {
        app_ = startPierline({"run"}, env_);
        ASSERT_TRUE(app_->waitForStarted());
        ASSERT_TRUE(waitForRunningApp(*app_, env_)) << app_->readAllStandardOutput().toStdString();
    }
    // Reads the app's output until `line` shows, bounded in real time.
    bool appPrinted(const QString& line) {
        return waitUntil(
            [&] {
                appLog_ += QString::fromUtf8(app_->readAllStandardOutput());
                return appLog_.contains(line);
            },
            20000);
    }
    // A private bus daemon standing in for the system bus; its address.
    QString startSystemBus() {
        systemBus_ = std::make_unique<QProcess>();
        systemBus_->start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!systemBus_->waitForStarted() || !waitUntil([&] { return systemBus_->canReadLine(); }))
            return {};
        return QString::fromUtf8(systemBus_->readLine()).trimmed();
    }

    QTemporaryDir dir_;
    QMap<QString, QString> env_;
    std::unique_ptr<QProcess> app_;
    std::unique_ptr<QProcess> systemBus_;
    QString appLog_;
};

TEST_F(ShellTray, AWatcherGetsTheItemWhoseMenuSwitchesTheDock) {
    FakeWatcher watcher;
    ASSERT_TRUE(watcher.start());
    startApp();
    ASSERT_TRUE(waitUntil([&] { return !watcher.items.isEmpty(); }, 20000)) << "no item registered";
    EXPECT_EQ(status().value("statusItem").toObject().value("host").toString(), "StatusNotifierItem");
    // A figure for the notes, not a limit: the idle app's resident memory with its tray item.
    QFile proc(QStringLiteral("/proc/%1/status").arg(app_->processId()));
    if (proc.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : proc.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                RecordProperty("idleRss", line.mid(6).trimmed().toStdString());
    }

    QString service = watcher.items.first();
    QString path = QStringLiteral("/StatusNotifierItem");
    if (const qsizetype slash = service.indexOf('/'); slash > 0) {
        path = service.mid(slash);
        service = service.left(slash);
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, "org.freedesktop.DBus.Properties", "Get");
    get.setArguments({"org.kde.StatusNotifierItem", "Menu"});
    const QDBusMessage menuReply = bus.call(get);
    ASSERT_EQ(menuReply.type(), QDBusMessage::ReplyMessage) << menuReply.errorMessage().toStdString();
    const QString menuPath =
        menuReply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
    ASSERT_FALSE(menuPath.isEmpty());

    // The menu is attached from the main queue after the item: wait for its presets.
    MenuNode root;
    QStringList labels;
    waitUntil([&] {
        QDBusMessage layout = QDBusMessage::createMethodCall(service, menuPath, "com.canonical.dbusmenu", "GetLayout");
        layout.setArguments({0, -1, QStringList()});
        const QDBusMessage reply = bus.call(layout);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
            return false;
        root = readNode(reply.arguments().at(1).value<QDBusArgument>());
        labels.clear();
        for (const MenuNode& child : root.children)
            labels.append(label(child));
        return labels.contains("Lean  ⌘⌥1");
    });
    EXPECT_EQ(labels, QStringList({"Show App", "---", "Pierline Presets", "---", "Default", "Lean  ⌘⌥1", "---",
                                   "Relocate Locked Dock", "Check for Updates", "Settings", "Quit"}));
    int leanId = -1;
    for (const MenuNode& child : root.children)
        if (label(child) == QStringLiteral("Lean  ⌘⌥1"))
            leanId = child.id;
    ASSERT_GE(leanId, 0);

    ASSERT_FALSE(runPierline({"dock", "--json"}, env_).out.contains(kLeanLink));
    QDBusMessage click = QDBusMessage::createMethodCall(service, menuPath, "com.canonical.dbusmenu", "Event");
    click.setArguments({leanId, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    bus.call(click);
    EXPECT_TRUE(waitUntil([&] { return runPierline({"dock", "--json"}, env_).out.contains(kLeanLink); }, 20000));
}

TEST_F(ShellTray, WithoutAHostTheItemLivesInTheAppsStateAndTheWaysInAreNamed) {
    startApp();
    // In menu-bar-only mode the item comes 0.1 s after the launch.
    QJsonObject item;
    EXPECT_TRUE(waitUntil([&] {
        item = status().value("statusItem").toObject();
        return item.value("visible").toBool();
    }));
    EXPECT_EQ(item.value("host").toString(), "none");
    EXPECT_TRUE(appPrinted("use `pierline menu`, the main window")) << appLog_.toStdString();
}

TEST_F(ShellTray, WindowsStayOffTheTaskBarWithoutADockIcon) {
    startApp();
    ASSERT_EQ(runPierline({"window", "open", "settings"}, env_).exitCode, 0);
    int screen = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screen);
    ASSERT_FALSE(xcb_connection_has_error(c));
    auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        free(reply);
        return value;
    };
    const xcb_atom_t netName = atom("_NET_WM_NAME");
    const xcb_atom_t utf8 = atom("UTF8_STRING");
    const xcb_atom_t state = atom("_NET_WM_STATE");
    const xcb_atom_t skip = atom("_NET_WM_STATE_SKIP_TASKBAR");
    // Our windows by title, and whether each holds the skip state.
    auto skipsTaskbar = [&](const QString& title) -> std::optional<bool> {
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
        std::optional<bool> found;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; tree && i < xcb_query_tree_children_length(tree) && !found; ++i) {
            xcb_get_property_reply_t* name =
                xcb_get_property_reply(c, xcb_get_property(c, 0, children[i], netName, utf8, 0, 256), nullptr);
            const QString text = name ? QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(name)),
                                                          xcb_get_property_value_length(name))
                                      : QString();
            free(name);
            if (text != title)
                continue;
            xcb_get_property_reply_t* states =
                xcb_get_property_reply(c, xcb_get_property(c, 0, children[i], state, XCB_ATOM_ATOM, 0, 64), nullptr);
            bool skipping = false;
            if (states && states->format == 32) {
                const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(states));
                for (int a = 0; a < xcb_get_property_value_length(states) / 4; ++a)
                    skipping = skipping || atoms[a] == skip;
            }
            free(states);
            found = skipping;
        }
        free(tree);
        return found;
    };
    std::optional<bool> settings;
    waitUntil([&] { return (settings = skipsTaskbar("Pierline Settings")).has_value(); });
    ASSERT_TRUE(settings.has_value()) << "no settings window on the display";
    EXPECT_TRUE(*settings);
    xcb_disconnect(c);
}

TEST_F(ShellTray, LogindWakingTheMachineReachesTheApp) {
    const QString address = startSystemBus();
    ASSERT_FALSE(address.isEmpty());
    env_.insert("DBUS_SYSTEM_BUS_ADDRESS", address);
    startApp();
    // logind takes its name after the app began to listen: the match follows the name.
    QDBusConnection system = QDBusConnection::connectToBus(address, QStringLiteral("fake-logind"));
    ASSERT_TRUE(system.isConnected());
    ASSERT_TRUE(system.registerService("org.freedesktop.login1"));
    QDBusMessage sleeping =
        QDBusMessage::createSignal("/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
    sleeping << true;
    system.send(sleeping);
    QDBusMessage woke =
        QDBusMessage::createSignal("/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
    woke << false;
    // The app may still be adding its match as the name appears; say it until it hears.
    EXPECT_TRUE(waitUntil(
        [&] {
            system.send(woke);
            appLog_ += QString::fromUtf8(app_->readAllStandardOutput());
            return appLog_.contains("System woke from sleep - refreshing app state");
        },
        20000))
        << appLog_.toStdString();
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-logind"));
}

} // namespace
