#pragma once

#include <QString>
#include <exception>
#include <string>

namespace pierline {

// A failure of the store, shaped like the platform's error values: a domain, a code and a
// user-facing description.
class StoreError : public std::exception {
public:
    static inline const QString kCocoaDomain = QStringLiteral("NSCocoaErrorDomain");
    static inline const QString kSQLiteDomain = QStringLiteral("NSSQLiteErrorDomain");

    // Codes the store reports.
    static constexpr int kFileReadUnknown = 256;            // the store file could not be opened
    static constexpr int kFileReadCorruptFile = 259;        // not a database
    static constexpr int kValidationInvalidArgument = 1550; // an item position out of range
    static constexpr int kValidationMissingMandatoryProperty = 1570;
    static constexpr int kOptimisticLockingFailure = 133020; // another writer changed the row
    static constexpr int kNoPersistentStores = 134060;
    static constexpr int kUnsupportedRequestType = 134091;
    static constexpr int kIncompatibleVersionHash = 134100;
    static constexpr int kMigration = 134110;

    StoreError(QString domain, int code, QString description)
        : domain_(std::move(domain)), code_(code), description_(std::move(description)),
          what_(description_.toStdString()) {}

    const QString& domain() const { return domain_; }
    int code() const { return code_; }
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    QString domain_;
    int code_;
    QString description_;
    std::string what_;
};

} // namespace pierline
