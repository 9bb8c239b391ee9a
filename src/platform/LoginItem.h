#pragma once

#include <QString>
#include <memory>
#include <optional>

namespace pierline {

struct LoginItemError {
    QString domain;
    qint64 code = 0;
    QString description;
    QString userInfo; // extra details, as text
};

// Starting the program when the user logs in (the main-application login service).
class LoginItem {
public:
    enum class Status { Enabled, NotRegistered };

    virtual ~LoginItem() = default;

    static LoginItem& shared();
    static void setShared(LoginItem* item); // nullptr restores the system login item

    virtual Status status() const = 0;
    // nullopt on success.
    virtual std::optional<LoginItemError> registerItem() = 0;
    virtual std::optional<LoginItemError> unregisterItem() = 0;
    // The fallback when registration fails: registers this application with the desktop's
    // application database (on Linux a desktop entry that also handles pierline:// links).
    virtual bool registerWithLaunchServices() = 0;
};

std::unique_ptr<LoginItem> createSystemLoginItem();

} // namespace pierline
