#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <variant>

namespace pierline {

// One command-line call handed to the running app.
struct CommandRequest {
    QStringList arguments; // after the program name
    QString workingFolder;
    bool stdinIsTerminal = false;

    QByteArray toPayload() const;
    // The request, or why the payload is not one.
    static std::variant<CommandRequest, QString> fromPayload(const QByteArray& payload);
};

// What the command answered, as the call prints it.
struct CommandReply {
    int exitCode = 1;
    QByteArray standardOutput;
    QByteArray standardError;

    QByteArray toPayload() const;
    static std::variant<CommandReply, QString> fromPayload(const QByteArray& payload);
};

} // namespace pierline
