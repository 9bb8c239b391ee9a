// The Last Context panel of a real `pierline run` on the test display: where it goes, what it
// asks of the window system, who gets the keyboard, what it paints, and Shift+Return typed with
// XTest. Window properties are read back with xcb.
#include "support/EventLoop.h"
#include "support/PierlineCli.h"

#include "app/ui/LastContextPanel.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include "triggers/XTestKeys.h" // X11 after Qt: Xlib defines Status, Bool

using namespace pierline::test;

namespace {

// Two screens side by side, the right one lower and smaller.
const QString kDisplays = QStringLiteral("A|Main|1000x700+0+0;B|Side|600x500+1000+100");

struct PanelWindow {
    xcb_window_t id = 0;
    QRect geometry;
};

class LastContextPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        keyboard_ = XOpenDisplay(nullptr);
        ASSERT_NE(keyboard_, nullptr) << "these tests need an X display; run them under xvfb-run";
        x_ = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(x_));
        root_ = xcb_setup_roots_iterator(xcb_get_setup(x_)).data->root;
        ASSERT_TRUE(dir_.isValid());
        env_ = privateHomeEnvironment(dir_);
        env_.insert("QT_QPA_PLATFORM", "xcb");
        env_.insert("PIERLINE_DISPLAYS", kDisplays);
        // The desktop's own settings, with animations on as they are by default.
        env_.insert("GSETTINGS_BACKEND", "keyfile");
        env_.insert("XDG_CONFIG_HOME", dir_.filePath("config"));
    }
    void TearDown() override {
        stopPierline(app_.get(), env_);
        if (x_)
            xcb_disconnect(x_);
        if (keyboard_)
            XCloseDisplay(keyboard_);
    }

    CliRun cli(const QStringList& args) const { return runPierline(args, env_); }
    void ok(const QStringList& args) const {
        const CliRun r = cli(args);
        ASSERT_EQ(r.exitCode, 0) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    void startApp() {
        app_ = startPierline({"run"}, env_);
        ASSERT_TRUE(app_->waitForStarted());
        ASSERT_TRUE(waitForRunningApp(*app_, env_)) << app_->readAllStandardOutput().toStdString();
    }
    void stillRuns() const {
        EXPECT_EQ(app_->state(), QProcess::Running);
        EXPECT_EQ(cli({"status"}).exitCode, 0);
    }
    QJsonObject preset(const QString& name) const {
        return QJsonDocument::fromJson(cli({"preset", "show", name, "--json"}).out.toUtf8()).object();
    }
    QString kind() const {
        return QJsonDocument::fromJson(cli({"context", "state", "--json"}).out.toUtf8())
            .object()
            .value("kind")
            .toString();
    }

    xcb_atom_t atom(const char* name) const {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(x_, xcb_intern_atom(x_, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return found;
    }
    // The 32-bit values (or the text) of a window property; empty when it is not set.
    QList<quint32> cardinals(xcb_window_t window, const char* name) const {
        QList<quint32> values;
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            x_, xcb_get_property(x_, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr);
        if (reply && reply->format == 32) {
            const auto* data = static_cast<const quint32*>(xcb_get_property_value(reply));
            for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i)
                values.append(data[i]);
        }
        free(reply);
        return values;
    }
    QByteArray text(xcb_window_t window, const char* name) const {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            x_, xcb_get_property(x_, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
        QByteArray value;
        if (reply && reply->format == 8)
            value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        free(reply);
        return value;
    }

    // The app's mapped "Last Context" window; with `settled`, only once it is fully faded in.
    std::optional<PanelWindow> findPanel(bool settled) const {
        std::optional<PanelWindow> found;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(x_, xcb_query_tree(x_, root_), nullptr);
        if (!tree)
            return found;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
            const xcb_window_t window = children[i];
            if (text(window, "_NET_WM_NAME") != "Last Context" ||
                cardinals(window, "_NET_WM_PID") != QList<quint32>{quint32(app_->processId())})
                continue;
            xcb_get_window_attributes_reply_t* attributes =
                xcb_get_window_attributes_reply(x_, xcb_get_window_attributes(x_, window), nullptr);
            const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            free(attributes);
            xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(x_, xcb_get_geometry(x_, window), nullptr);
            // Settled: opacity exactly 1.
            if (viewable && g &&
                (!settled || cardinals(window, "_NET_WM_WINDOW_OPACITY") == QList<quint32>{0xFFFFFFFFu}))
                found = PanelWindow{window, QRect(g->x, g->y, g->width, g->height)};
            free(g);
        }
        free(tree);
        return found;
    }
    std::optional<PanelWindow> waitForPanel(const QRect& where) const {
        std::optional<PanelWindow> panel;
        waitUntil(
            [&] {
                panel = findPanel(true);
                return panel && panel->geometry == where;
            },
            20000);
        EXPECT_TRUE(panel) << "no panel";
        if (panel) {
            EXPECT_EQ(panel->geometry, where);
        }
        return panel;
    }
    bool waitForNoPanel() const {
        return waitUntil([&] { return !findPanel(false); }, 20000);
    }
    xcb_window_t focus() const {
        xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(x_, xcb_get_input_focus(x_), nullptr);
        const xcb_window_t window = reply ? reply->focus : XCB_NONE;
        free(reply);
        return window;
    }
    int colours(xcb_window_t window, const QRect& geometry) const {
        xcb_get_image_reply_t* image = xcb_get_image_reply(x_,
                                                           xcb_get_image(x_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                                                                         static_cast<uint16_t>(geometry.width()),
                                                                         static_cast<uint16_t>(geometry.height()), ~0u),
                                                           nullptr);
        QSet<quint32> seen;
        if (image) {
            const auto* pixels = reinterpret_cast<const quint32*>(xcb_get_image_data(image));
            for (int i = 0; i < xcb_get_image_data_length(image) / 4; ++i)
                seen.insert(pixels[i] & 0xFFFFFF);
        }
        free(image);
        return static_cast<int>(seen.size());
    }
    void pointAt(int x, int y) const {
        XWarpPointer(keyboard_, 0, DefaultRootWindow(keyboard_), 0, 0, 0, 0, x, y);
        XSync(keyboard_, False);
    }
    void typeText(const char* letters) const {
        Keys keys;
        for (const char* c = letters; *c; ++c)
            keys = keys + chord({}, *c == ' ' ? XK_space : static_cast<KeySym>(*c));
        type(keyboard_, keys);
    }

    Display* keyboard_ = nullptr;
    xcb_connection_t* x_ = nullptr;
    xcb_window_t root_ = 0;
    QTemporaryDir dir_;
    QMap<QString, QString> env_;
    std::unique_ptr<QProcess> app_;
};

TEST(LastContextPanelPlacement, TopRightOfTheFreeAreaButNeverPastItsLeftOrBottomMargin) {
    using pierline::LastContextPanel;
    EXPECT_EQ(LastContextPanel::origin(QRect(0, 0, 1920, 1080)), QPoint(1920 - 18 - 440, 18));
    // A free area below a top bar, on a screen left of the primary one.
    EXPECT_EQ(LastContextPanel::origin(QRect(-1280, 32, 1280, 992)), QPoint(-18 - 440, 32 + 18));
    // Too small: the left and bottom margins win.
    EXPECT_EQ(LastContextPanel::origin(QRect(100, 50, 400, 300)), QPoint(100 + 18, 50 + 300 - 18 - 420));
}

TEST_F(LastContextPanelTest, ThePromptTakesTheKeyboardAndShiftEnterSavesWhatWasTyped) {
    for (const QStringList& args :
         {QStringList{"sandbox", "init"}, QStringList{"preset", "create", "Alpha"},
          QStringList{"preset", "create", "Beta"}, QStringList{"settings", "set", "lastContextEnabled", "true"}})
        ok(args);
    startApp();
    pointAt(100, 600);
    ok({"context", "request", "--new", "Beta", "--previous", "Alpha"});
    // Top right of the screen under the pointer, exactly its content's size.
    const auto prompt = waitForPanel(QRect(1000 - 18 - 440, 18, 440, 420));
    ASSERT_TRUE(prompt);
    EXPECT_TRUE(cardinals(prompt->id, "_NET_WM_STATE").contains(atom("_NET_WM_STATE_ABOVE")));
    EXPECT_EQ(cardinals(prompt->id, "_NET_WM_DESKTOP"), QList<quint32>{0xFFFFFFFFu});
    EXPECT_GT(colours(prompt->id, prompt->geometry), 50) << "the panel is not painted";
    ASSERT_TRUE(waitUntil([&] { return focus() == prompt->id; }));

    // Return alone is a line break; Shift+Return saves.
    typeText("left off");
    type(keyboard_, chord({}, XK_Return));
    typeText("at tests");
    type(keyboard_, chord({XK_Shift_L}, XK_Return));
    ASSERT_TRUE(
        waitUntil([&] { return preset("Alpha").value("lastContextStatus").toString() == "left off\nat tests"; }, 20000))
        << preset("Alpha").value("lastContextStatus").toString().toStdString();
    EXPECT_TRUE(waitForNoPanel());
    stillRuns();

    // The editor of a saved note, saved with Shift and the keypad's Enter.
    ok({"context", "edit", "Alpha"});
    const auto editor = waitForPanel(QRect(1000 - 18 - 440, 18, 440, 420));
    ASSERT_TRUE(editor);
    ASSERT_TRUE(waitUntil([&] { return focus() == editor->id; }));
    typeText(" done");
    type(keyboard_, chord({XK_Shift_L}, XK_KP_Enter));
    EXPECT_TRUE(waitUntil(
        [&] { return preset("Alpha").value("lastContextStatus").toString() == "left off\nat tests done"; }, 20000));
    EXPECT_TRUE(waitForNoPanel());
    stillRuns();
}

TEST_F(LastContextPanelTest, TheIncomingNoteGoesUnderThePointerAndNeverTakesTheKeyboard) {
    for (const QStringList& args : {QStringList{"sandbox", "init"}, QStringList{"preset", "create", "Beta"},
                                    QStringList{"settings", "set", "lastContextEnabled", "true"}})
        ok(args);
    startApp();
    ok({"context", "edit", "Beta"});
    ok({"context", "save", "review the draft"});
    ASSERT_TRUE(waitForNoPanel());
    const xcb_window_t before = focus();

    pointAt(1100, 580);
    ok({"context", "request", "--new", "Beta"});
    // The right screen: 18 px from its right and top edges.
    const auto note = waitForPanel(QRect(1000 + 600 - 18 - 440, 100 + 18, 440, 420));
    ASSERT_TRUE(note);
    EXPECT_EQ(kind(), "incomingDisplay");
    EXPECT_EQ(focus(), before);
    EXPECT_NE(focus(), note->id);
    EXPECT_TRUE(cardinals(note->id, "_NET_WM_STATE").contains(atom("_NET_WM_STATE_ABOVE")));
    EXPECT_EQ(cardinals(note->id, "_NET_WM_DESKTOP"), QList<quint32>{0xFFFFFFFFu});
    EXPECT_GT(colours(note->id, note->geometry), 50);
    // Keys typed now are not the panel's: nothing is saved, nothing closes.
    type(keyboard_, chord({XK_Shift_L}, XK_Return));
    ok({"context", "close"});
    EXPECT_TRUE(waitForNoPanel());
    EXPECT_EQ(preset("Beta").value("lastContextStatus").toString(), "review the draft");
    stillRuns();
}

TEST_F(LastContextPanelTest, ASwitchOnTheGnomeDashPromptsForThePresetLeft) {
    env_.insert("XDG_CURRENT_DESKTOP", "GNOME");
    env_.insert("GSETTINGS_SCHEMA_DIR", "/usr/share/glib-2.0/schemas");
    env_.insert("XDG_DATA_HOME", dir_.filePath("data"));
    env_.insert("HOME", dir_.filePath("user"));
    QDir().mkpath(dir_.filePath("home"));
    for (const QStringList& args : {QStringList{"preset", "create", "Alpha"}, QStringList{"preset", "create", "Beta"},
                                    QStringList{"settings", "set", "lastContextEnabled", "true"}})
        ok(args);
    ASSERT_TRUE(cli({"target", "--json"}).out.contains("\"gnome\""));
    startApp();
    pointAt(100, 600);
    ok({"apply", "Alpha", "--yes"});
    ok({"context", "close"});
    ok({"apply", "Beta", "--bypass-cooldown", "--yes"});
    const auto prompt = waitForPanel(QRect(1000 - 18 - 440, 18, 440, 420));
    ASSERT_TRUE(prompt);
    EXPECT_EQ(QJsonDocument::fromJson(cli({"context", "state", "--json"}).out.toUtf8()).object().value("title"),
              "Switching to Beta from Alpha");
    ok({"context", "close"});
    EXPECT_TRUE(waitForNoPanel());
    stillRuns();
}

} // namespace
