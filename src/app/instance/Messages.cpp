#include "Messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pierline {
namespace {

std::variant<QJsonObject, QString> objectOf(const QByteArray& payload) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("payload is not JSON: %1").arg(error.errorString());
    if (!document.isObject())
        return QStringLiteral("payload is not a JSON object");
    return document.object();
}

// Output is bytes, not always UTF-8 text.
std::optional<QByteArray> bytesOf(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    const auto decoded =
        QByteArray::fromBase64Encoding(value.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

} // namespace

QByteArray CommandRequest::toPayload() const {
    return QJsonDocument(QJsonObject{{QStringLiteral("arguments"), QJsonArray::fromStringList(arguments)},
                                     {QStringLiteral("workingFolder"), workingFolder},
                                     {QStringLiteral("stdinIsTerminal"), stdinIsTerminal}})
        .toJson(QJsonDocument::Compact);
}

std::variant<CommandRequest, QString> CommandRequest::fromPayload(const QByteArray& payload) {
    auto parsed = objectOf(payload);
    if (const auto* error = std::get_if<QString>(&parsed))
        return *error;
    const QJsonObject object = std::get<QJsonObject>(parsed);
    const QJsonValue arguments = object.value(QStringLiteral("arguments"));
    const QJsonValue folder = object.value(QStringLiteral("workingFolder"));
    const QJsonValue terminal = object.value(QStringLiteral("stdinIsTerminal"));
    if (!arguments.isArray() || !folder.isString() || !terminal.isBool())
        return QStringLiteral("request lacks arguments, workingFolder or stdinIsTerminal");
    CommandRequest request;
    for (const QJsonValue& argument : arguments.toArray()) {
        if (!argument.isString())
            return QStringLiteral("request argument is not a string");
        request.arguments.append(argument.toString());
    }
    request.workingFolder = folder.toString();
    request.stdinIsTerminal = terminal.toBool();
    return request;
}

QByteArray CommandReply::toPayload() const {
    return QJsonDocument(QJsonObject{{QStringLiteral("exitCode"), exitCode},
                                     {QStringLiteral("stdout"), QString::fromLatin1(standardOutput.toBase64())},
                                     {QStringLiteral("stderr"), QString::fromLatin1(standardError.toBase64())}})
        .toJson(QJsonDocument::Compact);
}

std::variant<CommandReply, QString> CommandReply::fromPayload(const QByteArray& payload) {
    auto parsed = objectOf(payload);
    if (const auto* error = std::get_if<QString>(&parsed))
        return *error;
    const QJsonObject object = std::get<QJsonObject>(parsed);
    const QJsonValue code = object.value(QStringLiteral("exitCode"));
    const auto out = bytesOf(object.value(QStringLiteral("stdout")));
    const auto err = bytesOf(object.value(QStringLiteral("stderr")));
    if (!code.isDouble() || !out || !err)
        return QStringLiteral("reply lacks exitCode, stdout or stderr");
    return CommandReply{code.toInt(1), *out, *err};
}

} // namespace pierline
