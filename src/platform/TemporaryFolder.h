#pragma once

#include <QString>

namespace pierline {

// A fresh folder that only this user can enter (mode 0700), made under
// SystemPaths::temporaryDirectory() for one job and removed after it. Files in it never meet those
// of another user, home or concurrent job.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const QString& prefix);
    // Removes the folder unless remove() already ran; a failure is printed as a warning.
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    bool isValid() const { return !path_.isEmpty(); }
    const QString& error() const { return error_; } // why it could not be made
    const QString& path() const { return path_; }
    QString filePath(const QString& name) const;

    // Removes the folder and what it holds; false, with a warning printed, when something stayed.
    bool remove();

private:
    QString path_;
    QString error_;
};

} // namespace pierline
