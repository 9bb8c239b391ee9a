#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <variant>

namespace pierline {

// An exclusive advisory lock on a lock file, held until the object goes away. One shared
// resource (a domain's plist, the Dock of a home, the running app) has one lock file.
class FileLock {
public:
    enum class Mode { Wait, Try };

    // Opens (creating it and its folder) and locks `path`. In Wait mode `onWait` runs once
    // when another holder makes us wait; in Try mode a held lock is reported by heldElsewhere().
    explicit FileLock(const QString& path, Mode mode = Mode::Wait, const std::function<void()>& onWait = {});
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool held() const { return fd_ >= 0; }
    bool heldElsewhere() const { return heldElsewhere_; }
    const QString& error() const { return error_; } // why the lock could not be taken

    // Puts a new file holding `content` at the lock's path, locked before it replaces the old
    // one: a reader sees the old content or all of the new, and the lock still holds.
    bool replaceContent(const QByteArray& content, QString* error);

    // The content of a lock file (at most `limit` bytes; a link is not followed), or why not.
    static std::variant<QByteArray, QString> readContent(const QString& path, qsizetype limit = 4096);
    // Whether a process holds the lock at `path` now (false when there is no such file). Takes
    // no lock that could make a holder-to-be fail.
    static bool isHeldElsewhere(const QString& path);

private:
    QString path_;
    int fd_ = -1;
    int replacedFd_ = -1; // the file the content replaced, still locked for those who opened it before
    bool heldElsewhere_ = false;
    QString error_;
};

} // namespace pierline
