#pragma once

#include "themes/ThemeDefinition.h"

#include <QList>
#include <QObject>
#include <QString>
#include <optional>

namespace pierline {

class UserDefaults;

// Where themes come from. Tests point each place at a folder of their own.
struct ThemeSources {
    QString themesFolder;    // the user's theme files: Themes in the home's Application Support
    QString embeddedThemes;  // the themes compiled into the program (":/DefaultThemes")
    QString bundleResources; // the app bundle's resource folder, looked through when nothing is embedded

    static ThemeSources standard();
};

// The windows' colour themes: the files of the themes folder, the current one and the user's choice.
// Lives on the main thread; the windows repaint on currentThemeChanged.
class ThemeManager : public QObject {
    Q_OBJECT
public:
    static inline const QString kSelectedThemeKey = QStringLiteral("Pierline.SelectedThemeID");
    static inline const QString kDefaultThemeFile = QStringLiteral("Pierline-Default.json");

    // Prepares the folder and copies the bundled themes, loads the folder, restores the selection.
    explicit ThemeManager(UserDefaults& defaults, ThemeSources sources = ThemeSources::standard(),
                          QObject* parent = nullptr);
    ~ThemeManager() override;

    // The running app's manager; null outside it.
    static ThemeManager* shared();
    static void setShared(ThemeManager* manager);

    const QList<ThemeDefinition>& availableThemes() const { return availableThemes_; }
    const ThemeDefinition& currentTheme() const { return currentTheme_; }
    bool isLoading() const { return isLoading_; }
    const ThemeSources& sources() const { return sources_; }

    // Makes the loaded theme `id` current and stores the choice. The failure text otherwise
    // ("Theme not found: ID", or why the choice could not be stored), with nothing changed.
    std::optional<QString> switchTheme(const QString& id);
    // Rescans the themes folder; the current theme stays as it is.
    void loadThemes();

    // The folder the bundled themes are copied from, first hit of the lookup; nullopt when none.
    std::optional<QString> bundledThemesFolder() const;

signals:
    void availableThemesChanged();
    void currentThemeChanged();
    void isLoadingChanged(bool loading);

private:
    void prepareThemesFolder();
    void copyBundledThemes();
    void refreshExistingTheme(const QString& fileName, const QString& source, const QString& destination);
    void restoreSelection();
    void setLoading(bool loading);

    UserDefaults& defaults_;
    ThemeSources sources_;
    QList<ThemeDefinition> availableThemes_;
    ThemeDefinition currentTheme_;
    bool isLoading_ = false;
};

} // namespace pierline
