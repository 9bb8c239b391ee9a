#pragma once

#include "platform/NotificationCenter.h"
#include "store/StoreModel.h"
#include "support/DockPlist.h"
#include "support/EventLoop.h"

#include <atomic>

// Shared by the store suites: a sample Dock, the store's file, notification counting.
namespace pierline::test::store {

struct SampleDock {
    QStringList apps;
    QString downloads;
    QString documents;
    QString readme;
};

// Apps Safari, a spacer and Mail; on the right the Downloads folder (stack, fan, date added),
// a file, a web link, the Documents folder (no settings) and a tile of an unknown type.
inline SampleDock writeSampleDock(const TempHome& home) {
    SampleDock dock;
    const QString base = "file://" + home.path();
    dock.downloads = base + "/Downloads/";
    dock.documents = base + "/My%20Documents/";
    dock.readme = base + "/Readme.txt";
    const QString safari = base + "/Applications/Safari.app/";
    const QString mail = base + "/Applications/Mail.app/";
    dock.apps = {safari, "pierline-spacer-1", mail};
    writeDockDomain(
        home, xmlPlist(domain({appTile(safari), spacerTile(), appTile(mail)},
                              {folderTile(dock.downloads, qint64(0), qint64(1), qint64(2)),
                               fileTile(dock.readme, "Read me"), urlTile("https://example.com/", "Example"),
                               folderTile(dock.documents, {}, {}, {}), QVariantMap{{"tile-type", "recents-tile"}}})));
    return dock;
}

inline QString storePath(const TempHome& home) {
    return home.file("Library/Application Support/Pierline/Pierline.sqlite");
}

// Our model with one attribute more: a store written by another build.
inline ModelVersion modelWithExtraAttribute(const QString& identifier, AttributeType type = AttributeType::Boolean) {
    ModelVersion next = pierlineModelHistory().last();
    next.identifier = identifier;
    for (auto& e : next.entities)
        if (e.name == QLatin1String("DockPreset"))
            e.attributes.append(
                {"pinned", type, false, type == AttributeType::Boolean ? QVariant(false) : QVariant(0)});
    return next;
}

// Counts the posts of one notification while it lives.
class NotificationCounter {
public:
    explicit NotificationCounter(const QString& name) {
        token_ = NotificationCenter::shared().addObserver(name, Delivery::PosterThread, [this](const Notification& n) {
            ++count_;
            last_ = n.userInfo;
        });
    }
    ~NotificationCounter() { NotificationCenter::shared().removeObserver(token_); }
    NotificationCounter(const NotificationCounter&) = delete;
    NotificationCounter& operator=(const NotificationCounter&) = delete;

    int count() const { return count_; }
    QVariantMap lastUserInfo() const { return last_; }

private:
    ObserverToken token_ = 0;
    std::atomic<int> count_{0};
    QVariantMap last_;
};

} // namespace pierline::test::store
