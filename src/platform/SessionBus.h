#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <optional>

namespace pierline {

// One blocking method call on the session bus, from any thread. It never starts a service and
// never starts a bus.
struct SessionBusCall {
    QString service;
    QString path;
    QString interface;
    QString method;
    QVariantList arguments;
    QString replySignature; // the reply's D-Bus signature ("b", "as", "" for none)
    int timeoutMs = 2000;
};

// Whether this session has a bus to call, without starting one.
bool hasSessionBus();
// The reply's first value (an empty QVariant for a reply with none); nullopt when there is no bus,
// no such name, an error, or a reply not of `replySignature`.
std::optional<QVariant> callSessionBus(const SessionBusCall& call);

} // namespace pierline
