// Theme files: colours, decoding, the bundled themes' copy and refresh, loading and the choice.
#include "support/CapturingLogSink.h"
#include "support/TempHome.h"

#include "platform/UserDefaults.h"
#include "themes/ThemeAppearance.h"
#include "themes/ThemeManager.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

QByteArray resourceBytes(const QString& name) {
    QFile file(QStringLiteral(":/DefaultThemes/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

QJsonObject defaultThemeJson() {
    return QJsonDocument::fromJson(resourceBytes(QStringLiteral("Pierline-Default.json"))).object();
}

QByteArray toBytes(const QJsonObject& object) {
    return QJsonDocument(object).toJson();
}

// A JSON object with one value replaced at a dotted path.
QJsonObject with(QJsonObject object, const QString& path, const QJsonValue& value) {
    const qsizetype dot = path.indexOf(QLatin1Char('.'));
    if (dot < 0) {
        if (value.isUndefined())
            object.remove(path);
        else
            object.insert(path, value);
        return object;
    }
    const QString head = path.left(dot);
    object.insert(head, with(object.value(head).toObject(), path.mid(dot + 1), value));
    return object;
}

QString errorOf(const QByteArray& bytes) {
    const auto decoded = decodeTheme(bytes);
    if (const auto* error = std::get_if<ThemeError>(&decoded))
        return error->description();
    const auto range = checkColorRanges(std::get<ThemeDefinition>(decoded));
    return range ? range->description() : QStringLiteral("ok");
}

TEST(ThemeColors, HexTextBothWays) {
    const CodableColor teal = CodableColor::fromHex(QStringLiteral("#3AAFA9"));
    EXPECT_EQ(teal, CodableColor::fromHex(QStringLiteral("3AAFA9")));
    EXPECT_EQ(teal, CodableColor::fromHex(QStringLiteral("  #3aafa9; ")));
    EXPECT_EQ(teal, CodableColor::fromHex(QStringLiteral("FF3AAFA9")));
    EXPECT_DOUBLE_EQ(teal.red, 0x3A / 255.0);
    EXPECT_DOUBLE_EQ(teal.green, 0xAF / 255.0);
    EXPECT_DOUBLE_EQ(teal.blue, 0xA9 / 255.0);
    EXPECT_EQ(teal.opacity, 1.0);
    const CodableColor half = CodableColor::fromHex(QStringLiteral("#80FF0000"));
    EXPECT_DOUBLE_EQ(half.opacity, 128 / 255.0);
    EXPECT_EQ(half.red, 1.0);
    for (const char* black : {"#FFF", "", "#12345", "1234567"})
        EXPECT_EQ(CodableColor::fromHex(QString::fromLatin1(black)), (CodableColor{0, 0, 0, 1})) << black;

    EXPECT_EQ(teal.hexText(), QStringLiteral("#3AAFA9"));
    EXPECT_EQ((CodableColor{0.999, 0.5, 0.0039, 0.1}).hexText(), QStringLiteral("#FE7F00"));
    EXPECT_EQ((CodableColor{1.5, 0, 0, 1}).hexText(), QStringLiteral("#17E0000"));
}

TEST(ThemeColors, BuiltInThemeIsTheBundledDefaultFile) {
    const ThemeDefinition& builtIn = builtInTheme();
    EXPECT_EQ(builtIn.id, QStringLiteral("pierline-default"));
    EXPECT_EQ(builtIn.version, QStringLiteral("1.1"));
    EXPECT_EQ(builtIn.lightMode.surfaceColor, (CodableColor{0.98, 0.988, 0.984, 0.92}));
    EXPECT_EQ(builtIn.lightMode.shadowColor, (CodableColor{0, 0, 0, 0.14}));
    EXPECT_EQ(builtIn.darkMode.shadowColor, (CodableColor{0, 0, 0, 0.3}));
    EXPECT_EQ(builtIn.darkMode.destructiveColor.hexText(), QStringLiteral("#FF453A"));
    EXPECT_EQ(builtIn.layout, (ThemeLayout{6, 16, 8, 24, 1, 2, 0.2}));

    const auto decoded = decodeTheme(resourceBytes(QStringLiteral("Pierline-Default.json")));
    ASSERT_TRUE(std::holds_alternative<ThemeDefinition>(decoded));
    EXPECT_TRUE(std::get<ThemeDefinition>(decoded).sameContent(builtIn));
    // The other two are themes of their own, and valid.
    for (const char* name : {"Pierline-Ocean.json", "Pierline-Neon.json"}) {
        EXPECT_EQ(errorOf(resourceBytes(QString::fromLatin1(name))), QStringLiteral("ok")) << name;
    }
    // Written back in the file form, the theme decodes to itself.
    const auto again = decodeTheme(toBytes(builtIn.toJson()));
    ASSERT_TRUE(std::holds_alternative<ThemeDefinition>(again));
    EXPECT_TRUE(std::get<ThemeDefinition>(again).sameContent(builtIn));
}

TEST(ThemeDecoding, DocumentsThatDoNotDecode) {
    const QJsonObject good = defaultThemeJson();
    EXPECT_EQ(errorOf(toBytes(good)), QStringLiteral("ok"));
    EXPECT_TRUE(errorOf("{\"id\": ").startsWith(QStringLiteral("Invalid theme JSON: ")));
    EXPECT_EQ(errorOf("[1, 2]"), QStringLiteral("Invalid theme JSON: the document is not an object"));
    EXPECT_EQ(errorOf(toBytes(with(good, "version", 1.2))),
              QStringLiteral("Invalid theme JSON: version is a number, not a string"));
    EXPECT_EQ(errorOf(toBytes(with(good, "dark_mode.textColor.blue", "1"))),
              QStringLiteral("Invalid theme JSON: dark_mode.textColor.blue is a string, not a number"));
    EXPECT_EQ(errorOf(toBytes(with(good, "layout", QJsonValue::Null))),
              QStringLiteral("Invalid theme JSON: layout is null, not an object"));
    EXPECT_EQ(errorOf(toBytes(with(good, "author", QJsonValue::Undefined))),
              QStringLiteral("Theme missing required field: author"));
    // The first missing key in the file's order, however the document orders them.
    EXPECT_EQ(errorOf(toBytes(with(with(good, "layout.padding", QJsonValue::Undefined), "light_mode.shadowColor.red",
                                   QJsonValue::Undefined))),
              QStringLiteral("Theme missing required field: light_mode.shadowColor.red"));
    // Extra keys are no fault.
    EXPECT_EQ(errorOf(toBytes(with(good, "extra", true))), QStringLiteral("ok"));
}

TEST(ThemeDecoding, AColourOutOfRangeIsNamedByItsHexText) {
    const QJsonObject good = defaultThemeJson();
    for (const char* mode : {"light_mode", "dark_mode"}) {
        for (const auto& [name, member] : ThemeColors::fields()) {
            for (const char* component : {"red", "green", "blue", "opacity"}) {
                const QString path = QStringLiteral("%1.%2.%3").arg(mode, name, component);
                SCOPED_TRACE(path.toStdString());
                const QJsonObject bad = with(good, path, QStringLiteral("opacity") == component ? 1.2 : -0.01);
                const ThemeDefinition decoded = std::get<ThemeDefinition>(decodeTheme(toBytes(bad)));
                const ThemeColors& colors =
                    QLatin1String(mode) == QLatin1String("light_mode") ? decoded.lightMode : decoded.darkMode;
                EXPECT_EQ(errorOf(toBytes(bad)), QStringLiteral("Invalid color value: ") + (colors.*member).hexText());
            }
        }
    }
    // Light before dark, each in file order.
    const QJsonObject both = with(with(good, "dark_mode.primaryColor.red", 2.0), "light_mode.shadowColor.opacity", 1.5);
    EXPECT_EQ(errorOf(toBytes(both)), QStringLiteral("Invalid color value: #000000"));
    EXPECT_EQ(errorOf(toBytes(with(good, "dark_mode.primaryColor.red", 2.0))),
              QStringLiteral("Invalid color value: #1FEAFA9"));
    EXPECT_EQ(errorOf(toBytes(with(good, "light_mode.textColor.opacity", 1.0))), QStringLiteral("ok"));
    EXPECT_EQ(errorOf(toBytes(with(good, "light_mode.textColor.opacity", 0.0))), QStringLiteral("ok"));
}

TEST(ThemeVersions, NumericPartByPart) {
    EXPECT_GT(compareThemeVersions("1.10", "1.9"), 0);
    EXPECT_LT(compareThemeVersions("1.9", "1.10"), 0);
    EXPECT_EQ(compareThemeVersions("1.0", "1"), 0);
    EXPECT_EQ(compareThemeVersions("1..2", "1.2"), 0);
    EXPECT_EQ(compareThemeVersions(".1.", "1"), 0);
    EXPECT_EQ(compareThemeVersions("1.x", "1.0"), 0);
    EXPECT_EQ(compareThemeVersions("1.2beta", "1"), 0);
    EXPECT_LT(compareThemeVersions("", "0.0.1"), 0);
    EXPECT_GT(compareThemeVersions("2", "1.99.99"), 0);
    EXPECT_EQ(compareThemeVersions("99999999999999999999", "0"), 0);
}

// A home with its themes folder, a folder of bundled themes and our defaults domain.
class ThemeFolders : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(bundled());
        for (const char* name : {"Pierline-Default.json", "Pierline-Ocean.json", "Pierline-Neon.json"})
            writeBundled(QString::fromLatin1(name), resourceBytes(QString::fromLatin1(name)));
    }

    QString themes() const { return home_.file(QStringLiteral("Support/Themes")); }
    QString bundled() const { return home_.file(QStringLiteral("bundled")); }
    QString themeFile(const QString& name) const { return QDir(themes()).filePath(name); }
    void writeBundled(const QString& name, const QByteArray& bytes) const {
        home_.write(QStringLiteral("bundled/") + name, bytes);
    }
    void writeTheme(const QString& name, const QByteArray& bytes) const {
        home_.write(QStringLiteral("Support/Themes/") + name, bytes);
    }
    std::unique_ptr<ThemeManager> make(const QString& bundleResources = {}) {
        return std::make_unique<ThemeManager>(defaults_, ThemeSources{themes(), bundled(), bundleResources});
    }
    QStringList ids(const ThemeManager& manager) const {
        QStringList out;
        for (const ThemeDefinition& theme : manager.availableThemes())
            out.append(theme.id);
        return out;
    }

    TempHome home_;
    CapturingLogSink log_;
    UserDefaults defaults_{QStringLiteral("com.corvane.pierline")};
};

TEST_F(ThemeFolders, FirstStartCopiesTheBundledThemesAndLoadsThemInNameOrder) {
    const auto manager = make();
    EXPECT_EQ(ids(*manager), (QStringList{"pierline-default", "pierline-neon", "pierline-ocean"}));
    EXPECT_TRUE(manager->currentTheme().sameContent(builtInTheme()));
    EXPECT_TRUE(manager->currentTheme().file.isEmpty());
    EXPECT_FALSE(manager->isLoading());
    EXPECT_EQ(readFile(themeFile("Pierline-Neon.json")).toUtf8(), resourceBytes("Pierline-Neon.json"));
    const QStringList lines = log_.messages(QStringLiteral("ThemeManager"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Found 3 bundled theme files")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Copied bundled theme: Pierline-Ocean.json")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Loading themes from: ") + themes()));
    EXPECT_TRUE(lines.contains(QStringLiteral("Successfully loaded theme: Neon (ID: pierline-neon) from ") +
                               themeFile("Pierline-Neon.json")));
    EXPECT_EQ(lines.last(), QStringLiteral("Total themes loaded: 3"));
    EXPECT_TRUE(log_.warningLines().isEmpty()) << log_.warningLines().join('\n').toStdString();

    // A second start copies nothing and says so.
    log_.clear();
    make();
    EXPECT_TRUE(log_.logged(QStringLiteral("Theme Pierline-Ocean.json already exists, skipping copy")));
    EXPECT_TRUE(
        log_.logged(QStringLiteral("Theme Pierline-Default.json already exists and is current, skipping refresh")));
}

TEST_F(ThemeFolders, OnlyPierlineJsonFilesAreCopiedAndEveryJsonFileIsLoaded) {
    writeBundled("Other.json", toBytes(with(defaultThemeJson(), "id", "other")));
    writeBundled("Pierline-Notes.txt", "notes");
    QJsonObject mine = with(defaultThemeJson(), "id", "mine");
    writeTheme("ä-mine.json", toBytes(mine));
    writeTheme("Zed.json", toBytes(with(mine, "id", "zed")));
    writeTheme("readme.txt", "not a theme");
    const auto manager = make();
    EXPECT_FALSE(QFile::exists(themeFile("Other.json")));
    EXPECT_FALSE(QFile::exists(themeFile("Pierline-Notes.txt")));
    // Code-point order: upper case before lower, ASCII before "ä".
    EXPECT_EQ(ids(*manager), (QStringList{"pierline-default", "pierline-neon", "pierline-ocean", "zed", "mine"}));
}

// Each row: the file in the themes folder against the bundled one.
struct RefreshCase {
    const char* what;
    const char* existingVersion;
    const char* bundledVersion;
    const char* editedKey; // nullptr: untouched
    bool refreshed;
};

TEST_F(ThemeFolders, OnlyAnUntouchedOlderDefaultThemeIsRefreshed) {
    const RefreshCase cases[] = {
        {"older", "1.0", "1.1", nullptr, true},
        {"equal", "1.1", "1.1", nullptr, false},
        {"newer", "1.2", "1.1", nullptr, false},
        {"1.9 below 1.10", "1.9", "1.10", nullptr, true},
        {"1.10 above 1.9", "1.10", "1.9", nullptr, false},
        {"1.0 equals 1", "1.0", "1", nullptr, false},
        {"a part that is not a number is 0", "1.x", "1.0.1", nullptr, true},
        {"empty parts are dropped", "1..1", "1.1", nullptr, false},
        {"edited name", "1.0", "2.0", "name", false},
        {"edited author", "1.0", "2.0", "author", false},
        {"edited id", "1.0", "2.0", "id", false},
    };
    for (const RefreshCase& c : cases) {
        SCOPED_TRACE(c.what);
        QJsonObject existing = with(defaultThemeJson(), "version", QString::fromLatin1(c.existingVersion));
        if (c.editedKey)
            existing = with(existing, QString::fromLatin1(c.editedKey), QStringLiteral("Mine"));
        existing = with(existing, "description", "the user's copy");
        const QByteArray bundledBytes =
            toBytes(with(defaultThemeJson(), "version", QString::fromLatin1(c.bundledVersion)));
        writeTheme("Pierline-Default.json", toBytes(existing));
        writeBundled("Pierline-Default.json", bundledBytes);
        log_.clear();
        make();
        const QByteArray now = readFile(themeFile("Pierline-Default.json")).toUtf8();
        EXPECT_EQ(now == bundledBytes, c.refreshed);
        EXPECT_EQ(now == toBytes(existing), !c.refreshed);
        const QString line =
            c.refreshed
                ? QStringLiteral("Refreshed bundled theme Pierline-Default.json to version %1").arg(c.bundledVersion)
            : c.editedKey
                ? QStringLiteral("Theme Pierline-Default.json already exists and is customized, skipping refresh")
                : QStringLiteral("Theme Pierline-Default.json already exists and is current, skipping refresh");
        EXPECT_TRUE(log_.logged(line)) << log_.messages().join('\n').toStdString();
    }
}

TEST_F(ThemeFolders, OtherThemesAndFilesThatCannotBeReadAreNeverRefreshed) {
    const QByteArray oldOcean =
        toBytes(with(QJsonDocument::fromJson(resourceBytes("Pierline-Ocean.json")).object(), "version", "0.1"));
    writeTheme("Pierline-Ocean.json", oldOcean);
    writeTheme("Pierline-Default.json", "{ not json");
    writeBundled("Pierline-Default.json", toBytes(with(defaultThemeJson(), "version", "9")));
    make();
    EXPECT_EQ(readFile(themeFile("Pierline-Ocean.json")).toUtf8(), oldOcean);
    EXPECT_EQ(readFile(themeFile("Pierline-Default.json")), QStringLiteral("{ not json"));
    EXPECT_TRUE(log_.warnedContaining(
        QStringLiteral("[ThemeManager] Theme Pierline-Default.json already exists and could not be refreshed: ")));

    // Unreadable (a folder in its place): left alone, not replaced by what could not be compared.
    QFile::remove(themeFile("Pierline-Default.json"));
    ASSERT_TRUE(QDir().mkpath(themeFile("Pierline-Default.json")));
    home_.write("Support/Themes/Pierline-Default.json/kept", "kept");
    log_.clear();
    make();
    EXPECT_EQ(readFile(themeFile("Pierline-Default.json/kept")), QStringLiteral("kept"));
    EXPECT_TRUE(log_.warnedContaining(QStringLiteral("already exists and could not be refreshed: Could not read")));
}

TEST_F(ThemeFolders, BadFilesAreSkippedWithTheirLinesAndNeverRewritten) {
    const QByteArray badColour = toBytes(with(defaultThemeJson(), "light_mode.accentColor.opacity", 1.2));
    const QByteArray missing = toBytes(with(defaultThemeJson(), "layout", QJsonValue::Undefined));
    writeTheme("bad-colour.json", badColour);
    writeTheme("missing.json", missing);
    const auto manager = make();
    EXPECT_EQ(ids(*manager), (QStringList{"pierline-default", "pierline-neon", "pierline-ocean"}));
    EXPECT_TRUE(log_.warned(QStringLiteral("[ThemeManager] Failed to load theme from %1: Invalid color value: #3AAFA9")
                                .arg(themeFile("bad-colour.json"))));
    EXPECT_TRUE(
        log_.warned(QStringLiteral("[ThemeManager] Failed to load theme from %1: Theme missing required field: layout")
                        .arg(themeFile("missing.json"))));
    EXPECT_TRUE(log_.warnedContaining(QStringLiteral("[ThemeManager] Decoding error details: keyNotFound")));
    for (const LogRecord& record : log_.records()) {
        if (record.message.startsWith(QStringLiteral("Failed to load theme"))) {
            EXPECT_EQ(record.level, LogLevel::Error);
        }
    }
    EXPECT_EQ(readFile(themeFile("bad-colour.json")).toUtf8(), badColour);
    EXPECT_EQ(readFile(themeFile("missing.json")).toUtf8(), missing);
}

TEST_F(ThemeFolders, TheBundledThemesAreLookedForInOrder) {
    const QString resources = home_.file(QStringLiteral("Pierline.app/Contents/Resources"));
    const auto folderUsed = [&]() -> QString {
        const ThemeManager manager(defaults_, ThemeSources{themes(), home_.file("no-embedded"), resources});
        return manager.bundledThemesFolder().value_or(QStringLiteral("none"));
    };
    EXPECT_EQ(folderUsed(), QStringLiteral("none"));
    EXPECT_TRUE(log_.warned(QStringLiteral("[ThemeManager] Could not find DefaultThemes directory in bundle")));
    home_.write("Pierline.app/Contents/Resources/Resources/DefaultThemes/Pierline-Neon.json", "{}");
    EXPECT_EQ(folderUsed(), resources + QStringLiteral("/Resources/DefaultThemes"));
    home_.write("Pierline.app/Contents/Resources/Pierline-Ocean.json", "{}");
    EXPECT_EQ(folderUsed(), resources);
    QDir().mkpath(resources + QStringLiteral("/DefaultThemes"));
    EXPECT_EQ(folderUsed(), resources + QStringLiteral("/DefaultThemes"));
    // Compiled in beats the bundle.
    const ThemeManager standard(defaults_, ThemeSources{themes(), QStringLiteral(":/DefaultThemes"), resources});
    EXPECT_EQ(standard.bundledThemesFolder(), QStringLiteral(":/DefaultThemes"));

    // An empty folder: nothing to copy, and it says so.
    log_.clear();
    ThemeManager(defaults_, ThemeSources{home_.file("elsewhere/Themes"), home_.file("no-embedded"), resources});
    EXPECT_TRUE(log_.logged(QStringLiteral("No bundled themes found in app bundle")));
}

TEST_F(ThemeFolders, TheChoiceIsStoredAndRestoredAndALostOneKeepsTheBuiltInTheme) {
    {
        const auto manager = make();
        EXPECT_EQ(manager->switchTheme("no-such"), QStringLiteral("Theme not found: no-such"));
        EXPECT_FALSE(defaults_.contains(ThemeManager::kSelectedThemeKey));
        int changes = 0;
        QObject::connect(manager.get(), &ThemeManager::currentThemeChanged, [&] { ++changes; });
        EXPECT_EQ(manager->switchTheme("pierline-ocean"), std::nullopt);
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(manager->currentTheme().file, themeFile("Pierline-Ocean.json"));
        EXPECT_TRUE(log_.logged(QStringLiteral("Theme switched successfully to: Ocean")));
        EXPECT_EQ(manager->switchTheme("no-such"), QStringLiteral("Theme not found: no-such"));
        EXPECT_EQ(manager->currentTheme().id, QStringLiteral("pierline-ocean"));
    }
    EXPECT_EQ(defaults_.string(ThemeManager::kSelectedThemeKey), QStringLiteral("pierline-ocean"));
    EXPECT_EQ(make()->currentTheme().id, QStringLiteral("pierline-ocean"));
    EXPECT_TRUE(log_.logged(QStringLiteral("Restored theme: Ocean")));

    // The file is gone (and the bundle no longer has it): the built-in theme, the choice kept.
    QFile::remove(themeFile("Pierline-Ocean.json"));
    QFile::remove(QDir(bundled()).filePath("Pierline-Ocean.json"));
    const auto lost = make();
    EXPECT_TRUE(lost->currentTheme().sameContent(builtInTheme()));
    EXPECT_TRUE(lost->currentTheme().file.isEmpty());
    EXPECT_EQ(defaults_.string(ThemeManager::kSelectedThemeKey), QStringLiteral("pierline-ocean"));
}

TEST_F(ThemeFolders, NothingLoadableOrAFolderInTheWayLeavesTheBuiltInTheme) {
    QDir(bundled()).removeRecursively();
    QDir().mkpath(bundled());
    writeTheme("broken.json", "[]");
    const auto empty = make();
    ASSERT_EQ(empty->availableThemes().size(), 1);
    EXPECT_TRUE(empty->availableThemes().first().sameContent(builtInTheme()));
    EXPECT_TRUE(log_.logged(QStringLiteral("No themes loaded, using default theme")));
    EXPECT_TRUE(log_.logged(QStringLiteral("Total themes loaded: 1")));

    // A file where the folder should be: warnings, the built-in theme, the file untouched.
    QDir(themes()).removeRecursively();
    home_.write("Support/Themes", "a file");
    writeBundled("Pierline-Default.json", resourceBytes("Pierline-Default.json"));
    log_.clear();
    const auto blocked = make();
    EXPECT_TRUE(blocked->currentTheme().sameContent(builtInTheme()));
    EXPECT_EQ(blocked->availableThemes().size(), 1);
    EXPECT_TRUE(log_.warnedContaining(QStringLiteral("[ThemeManager] Failed to create themes directory: ")));
    EXPECT_TRUE(log_.warnedContaining(QStringLiteral("[ThemeManager] Failed to copy theme Pierline-Default.json: ")));
    EXPECT_TRUE(log_.warnedContaining(QStringLiteral("[ThemeManager] Failed to read themes directory: ")));
    EXPECT_EQ(readFile(themes()), QStringLiteral("a file"));
}

TEST(ThemeAppearance, TheGlobalDomainThenTheDesktopOnANativeDock) {
    TempHome home;
    int asked = 0;
    const PrefersDarkColors dark = [&] {
        ++asked;
        return true;
    };
    const PrefersDarkColors light = [] { return false; };
    EXPECT_EQ(systemAppearance("sandbox", dark), Appearance::Light);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(systemAppearance("gnome", dark), Appearance::Dark);
    EXPECT_EQ(systemAppearance("plank", light), Appearance::Light);
    UserDefaults(QStringLiteral(".GlobalPreferences"))
        .set(QStringLiteral("AppleInterfaceStyle"), QStringLiteral("Dark"));
    EXPECT_TRUE(QFile::exists(home.file("Library/Preferences/.GlobalPreferences.plist")));
    EXPECT_EQ(systemAppearance("sandbox", light), Appearance::Dark);
    EXPECT_EQ(systemAppearance("gnome", light), Appearance::Dark);
    EXPECT_EQ(&colorsFor(builtInTheme(), Appearance::Dark), &builtInTheme().darkMode);
}

} // namespace
