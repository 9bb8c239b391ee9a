#pragma once

#include <QString>
#include <optional>
#include <stdexcept>

namespace pierline {

// Why a web app's start URL could not be read.
class InfoPlistError : public std::runtime_error {
public:
    enum class Kind { PlistReadError, BundleNotFound, PlistNotFound, UrlExtractionFailed };
    InfoPlistError(Kind kind, QString message = {});
    Kind kind() const { return kind_; }
    const QString& message() const { return message_; } // the tool's words, for PlistReadError
    const QString& description() const { return description_; }

private:
    Kind kind_;
    QString message_;
    QString description_;
};

// Reads a web app's start URL out of its Info.plist through the PlistBuddy tool.
class InfoPlistReader {
public:
    // Throws InfoPlistError; nullopt when the property list names no web address.
    static std::optional<QString> readWebAppURL(const QString& bundlePath);
    // The web address one trimmed line of the tool's output gives, if any.
    static std::optional<QString> urlFromLine(const QString& line);
};

} // namespace pierline
