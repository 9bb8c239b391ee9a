#include "PopularApps.h"

namespace pierline {

const QList<PopularApp>& popularApps() {
    static const QList<PopularApp> apps = {
        {QStringLiteral("Google Chrome"), QStringLiteral("https://www.google.com/chrome/"),
         QStringLiteral("Google Chrome")},
        {QStringLiteral("Firefox"), QStringLiteral("https://www.mozilla.org/firefox/new/"), QStringLiteral("Firefox")},
        {QStringLiteral("Brave Browser"), QStringLiteral("https://brave.com/download/"), QStringLiteral("Brave")},
        {QStringLiteral("Visual Studio Code"), QStringLiteral("https://code.visualstudio.com/download"),
         QStringLiteral("Visual Studio Code")},
        {QStringLiteral("Slack"), QStringLiteral("https://slack.com/downloads/mac"), QStringLiteral("Slack")},
        {QStringLiteral("Discord"), QStringLiteral("https://discord.com/download"), QStringLiteral("Discord")},
        {QStringLiteral("zoom.us"), QStringLiteral("https://zoom.us/download"), QStringLiteral("Zoom")},
        {QStringLiteral("Spotify"), QStringLiteral("https://www.spotify.com/download/mac/"), QStringLiteral("Spotify")},
        {QStringLiteral("VLC"), QStringLiteral("https://www.videolan.org/vlc/download-macosx.html"),
         QStringLiteral("VLC")},
        {QStringLiteral("Figma"), QStringLiteral("https://www.figma.com/downloads/"), QStringLiteral("Figma")},
        {QStringLiteral("Blender"), QStringLiteral("https://www.blender.org/download/"), QStringLiteral("Blender")},
        {QStringLiteral("GIMP"), QStringLiteral("https://www.gimp.org/downloads/"), QStringLiteral("GIMP")},
        {QStringLiteral("Inkscape"), QStringLiteral("https://inkscape.org/release/"), QStringLiteral("Inkscape")},
        {QStringLiteral("Telegram"), QStringLiteral("https://desktop.telegram.org/"), QStringLiteral("Telegram")},
        {QStringLiteral("Signal"), QStringLiteral("https://signal.org/download/"), QStringLiteral("Signal")},
        {QStringLiteral("Dropbox"), QStringLiteral("https://www.dropbox.com/install"), QStringLiteral("Dropbox")},
        {QStringLiteral("Steam"), QStringLiteral("https://store.steampowered.com/about/"), QStringLiteral("Steam")},
        {QStringLiteral("Obsidian"), QStringLiteral("https://obsidian.md/download"), QStringLiteral("Obsidian")},
        {QStringLiteral("iTerm"), QStringLiteral("https://iterm2.com/downloads.html"), QStringLiteral("iTerm2")},
        {QStringLiteral("Docker"), QStringLiteral("https://www.docker.com/products/docker-desktop/"),
         QStringLiteral("Docker Desktop")},
        {QStringLiteral("Notion"), QStringLiteral("https://www.notion.so/desktop"), QStringLiteral("Notion")},
        {QStringLiteral("Thunderbird"), QStringLiteral("https://www.thunderbird.net/download/"),
         QStringLiteral("Thunderbird")},
        {QStringLiteral("Audacity"), QStringLiteral("https://www.audacityteam.org/download/?platform=mac"),
         QStringLiteral("Audacity")},
        {QStringLiteral("OBS"), QStringLiteral("https://obsproject.com/download"), QStringLiteral("OBS Studio")},
    };
    return apps;
}

const PopularApp* findPopularApp(const QString& appName) {
    for (const PopularApp& app : popularApps()) {
        if (app.name.compare(appName, Qt::CaseInsensitive) == 0 ||
            app.displayName.compare(appName, Qt::CaseInsensitive) == 0)
            return &app;
    }
    return nullptr;
}

QString withTrackingQuery(const QString& pageURL) {
    const QString query = QStringLiteral("utm_source=pierline&utm_medium=app");
    return pageURL + (pageURL.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?')) + query;
}

} // namespace pierline
