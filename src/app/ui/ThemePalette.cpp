#include "ThemePalette.h"

#include "themes/ThemeAppearance.h"
#include "themes/ThemeManager.h"

#include <QApplication>
#include <QColor>
#include <QWidget>

namespace pierline {
namespace {

QColor qColor(const CodableColor& color) {
    return QColor::fromRgbF(float(color.red), float(color.green), float(color.blue), float(color.opacity));
}

void applyCurrentTheme(QWidget* window, const ThemeManager& themes) {
    const ThemeColors& colors = colorsFor(themes.currentTheme(), currentAppearance());
    window->setPalette(themePalette(colors, QApplication::palette(window)));
}

} // namespace

QPalette themePalette(const ThemeColors& colors, QPalette base) {
    const std::pair<QPalette::ColorRole, const CodableColor*> roles[] = {
        {QPalette::Window, &colors.backgroundColor}, {QPalette::WindowText, &colors.textColor},
        {QPalette::Base, &colors.surfaceColor},      {QPalette::AlternateBase, &colors.backgroundColor},
        {QPalette::Text, &colors.textColor},         {QPalette::PlaceholderText, &colors.secondaryTextColor},
        {QPalette::Button, &colors.surfaceColor},    {QPalette::ButtonText, &colors.textColor},
        {QPalette::Highlight, &colors.accentColor},  {QPalette::HighlightedText, &colors.backgroundColor},
        {QPalette::Link, &colors.primaryColor},      {QPalette::ToolTipBase, &colors.surfaceColor},
        {QPalette::ToolTipText, &colors.textColor},  {QPalette::Mid, &colors.borderColor},
        {QPalette::Shadow, &colors.shadowColor},
    };
    for (const auto& [role, color] : roles)
        base.setColor(QPalette::All, role, qColor(*color));
    // Disabled text reads as secondary text.
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        base.setColor(QPalette::Disabled, role, qColor(colors.secondaryTextColor));
    return base;
}

void followCurrentTheme(QWidget* window) {
    ThemeManager* themes = ThemeManager::shared();
    if (!themes)
        return;
    applyCurrentTheme(window, *themes);
    QObject::connect(themes, &ThemeManager::currentThemeChanged, window,
                     [window, themes] { applyCurrentTheme(window, *themes); });
}

} // namespace pierline
