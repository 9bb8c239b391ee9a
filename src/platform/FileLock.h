#pragma once

#include <QString>
#include <functional>

namespace pierline {

// An exclusive advisory lock (flock) on a lock file, held until the object goes away. One
// shared resource (a domain's plist, the Dock of a home, the running app) has one lock file.
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
    int descriptor() const { return fd_; }

    // Replaces the file's content (e.g. the holder's pid) while the lock is held.
    bool writeContent(const QByteArray& content);

private:
    int fd_ = -1;
    bool heldElsewhere_ = false;
    QString error_;
};

} // namespace pierline
