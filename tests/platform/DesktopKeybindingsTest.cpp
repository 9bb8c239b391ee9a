// The GNOME keybindings on GSettings' keyfile backend in a private home, set up before this
// process first touches GSettings (it keeps the backend for good).
#include <gio/gio.h>

#include "platform/DesktopKeybindings.h"
#include "platform/ModifierMonitor.h"
#include "support/ScopedEnv.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace pierline {
namespace {

using test::ScopedEnv;

const char* const kList = "org.gnome.settings-daemon.plugins.media-keys";
const char* const kEntry = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
const QString kFolder = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");

class DesktopKeybindingsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new QTemporaryDir;
        env_.push_back(std::make_unique<ScopedEnv>("HOME", root_->filePath("home").toUtf8()));
        env_.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", root_->filePath("config").toUtf8()));
        env_.push_back(std::make_unique<ScopedEnv>("GSETTINGS_BACKEND", QByteArray("keyfile")));
    }
    static void TearDownTestSuite() {
        env_.clear();
        delete root_;
    }

    static GSettings* entry(const QString& path) {
        GSettingsSchema* schema = g_settings_schema_source_lookup(g_settings_schema_source_get_default(), kEntry, TRUE);
        GSettings* settings = g_settings_new_full(schema, nullptr, path.toUtf8().constData());
        g_settings_schema_unref(schema);
        return settings;
    }
    // name|command|binding of the entry at `path`.
    static QString fields(const QString& path) {
        GSettings* settings = entry(path);
        QStringList out;
        for (const char* key : {"name", "command", "binding"}) {
            gchar* value = g_settings_get_string(settings, key);
            out << QString::fromUtf8(value);
            g_free(value);
        }
        g_object_unref(settings);
        return out.join('|');
    }
    static void setFields(const QString& path, const QString& name, const QString& binding) {
        GSettings* settings = entry(path);
        g_settings_set_string(settings, "name", name.toUtf8().constData());
        g_settings_set_string(settings, "command", "true");
        g_settings_set_string(settings, "binding", binding.toUtf8().constData());
        g_object_unref(settings);
    }
    static QStringList list() {
        GSettings* settings = g_settings_new(kList);
        gchar** values = g_settings_get_strv(settings, "custom-keybindings");
        QStringList out;
        for (gchar** value = values; *value; ++value)
            out << QString::fromUtf8(*value);
        g_strfreev(values);
        g_object_unref(settings);
        return out;
    }
    static void setList(const QStringList& paths) {
        GSettings* settings = g_settings_new(kList);
        std::vector<QByteArray> bytes;
        std::vector<const gchar*> values;
        for (const QString& path : paths)
            bytes.push_back(path.toUtf8());
        for (const QByteArray& b : bytes)
            values.push_back(b.constData());
        values.push_back(nullptr);
        g_settings_set_strv(settings, "custom-keybindings", values.data());
        g_object_unref(settings);
    }

    static inline QTemporaryDir* root_ = nullptr;
    static inline std::vector<std::unique_ptr<ScopedEnv>> env_;
};

TEST_F(DesktopKeybindingsTest, OnlyOurEntriesAreWrittenChangedAndRemoved) {
    const QString mine = kFolder + "custom0/";
    const QString later = kFolder + "custom1/";
    setFields(mine, "Terminal", "<Super>t");
    setList({mine, kFolder + "pierline-broken"});
    const auto ours = [](const QString& id) { return kFolder + "pierline-" + id + "/"; };
    const auto binding = [](const QString& id, const QString& keys) {
        return DesktopKeybinding{id, "Pierline: " + id, {"/opt/pier line/pierline", "apply", "--id", id}, keys};
    };
    const std::unique_ptr<DesktopKeybindings> desktop = createDesktopKeybindings();
    ASSERT_EQ(desktop->problem(), std::nullopt);

    struct Step {
        QList<DesktopKeybinding> wanted;
        QStringList before; // the user's list is changed to this first, when given
        QStringList after;
    };
    const QList<Step> steps = {
        // A damaged path of ours is dropped from the list without being opened.
        {{binding("A", "<Super>1"), binding("B", "<Super>2")}, {}, {mine, ours("A"), ours("B")}},
        {{binding("A", "<Control><Shift>F8")}, {}, {mine, ours("A")}},
        {{binding("A", "<Control><Shift>F8"), binding("C", "<Alt>c")},
         {mine, ours("A"), later},
         {mine, ours("A"), later, ours("C")}},
        {{}, {}, {mine, later}},
    };
    for (const Step& step : steps) {
        if (!step.before.isEmpty())
            setList(step.before);
        ASSERT_EQ(desktop->replaceOurs(step.wanted), std::nullopt);
        EXPECT_EQ(list(), step.after);
        for (const DesktopKeybinding& b : step.wanted)
            EXPECT_EQ(fields(ours(b.id)),
                      "Pierline: " + b.id + "|'/opt/pier line/pierline' apply --id " + b.id + "|" + b.binding);
        EXPECT_EQ(fields(mine), "Terminal|true|<Super>t");
    }
    // Removed entries leave nothing behind.
    EXPECT_EQ(fields(ours("B")), "||");
    EXPECT_EQ(fields(ours("C")), "||");
}

TEST(DesktopKeybindingText, AcceleratorsAndCommandLines) {
    const struct {
        quint32 code;
        quint64 flags;
        std::optional<QString> text;
    } cases[] = {
        {0x00, kCocoaCommandFlag, "<Super>a"},
        {0x13, kCocoaCommandFlag | kCocoaOptionFlag, "<Super><Alt>2"},
        {0x64, kCocoaControlFlag | kCocoaShiftFlag | kCocoaCapsLockFlag, "<Control><Shift>F8"},
        {0x24, kCocoaCommandFlag | kCocoaOptionFlag | kCocoaControlFlag | kCocoaShiftFlag,
         "<Super><Alt><Control><Shift>Return"},
        {0x1E, kCocoaOptionFlag, "<Alt>bracketright"},
        {0x53, 0, "KP_1"},
        {0x48, 0, "XF86AudioRaiseVolume"},
        {0x3F, kCocoaCommandFlag, std::nullopt}, // fn
        {0x37, kCocoaOptionFlag, std::nullopt},  // command on its own
        {0x39, 0, std::nullopt},                 // caps lock
    };
    for (const auto& c : cases)
        EXPECT_EQ(desktopAccelerator(c.code, c.flags), c.text) << c.code;

    // The desktop splits the line as g_shell_parse_argv does.
    const QStringList words{"/usr/bin/env", "PIERLINE_HOME=/home/me/it's here", "/opt/pier$line/pierline", "apply",
                            "--id", "0A1B-2C", "", "a\"b\\c"};
    gchar** argv = nullptr;
    ASSERT_TRUE(g_shell_parse_argv(desktopCommandLine(words).toUtf8().constData(), nullptr, &argv, nullptr));
    QStringList parsed;
    for (gchar** arg = argv; *arg; ++arg)
        parsed << QString::fromUtf8(*arg);
    g_strfreev(argv);
    EXPECT_EQ(parsed, words);
}

} // namespace
} // namespace pierline
