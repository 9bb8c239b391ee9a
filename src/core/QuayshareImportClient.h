#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <stdexcept>

namespace pierline {

// A shared preset that could not be fetched.
class QuayshareImportError : public std::runtime_error {
public:
    explicit QuayshareImportError(const QString& description)
        : std::runtime_error(description.toStdString()), description_(description) {}
    const QString& description() const { return description_; }

private:
    QString description_;
};

// Fetches a shared preset (a backup document) from a link of the sharing service.
class QuayshareImportClient {
public:
    static constexpr double kDefaultTimeoutSeconds = 30.0;
    static constexpr qint64 kMaximumBodyBytes = 16 * 1024 * 1024;

    QuayshareImportClient() = default;
    explicit QuayshareImportClient(double timeoutSeconds) : timeoutSeconds_(timeoutSeconds) {}

    // GET; the body of a 2xx answer. Throws QuayshareImportError on a transport failure, another
    // status, a timeout, or a body over kMaximumBodyBytes. Waits in a local event loop.
    QByteArray downloadPreset(const QUrl& url) const;

private:
    double timeoutSeconds_ = kDefaultTimeoutSeconds;
};

} // namespace pierline
