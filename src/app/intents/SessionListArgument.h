#pragma once

#include "app/intents/IntentResponses.h"

#include <QDBusArgument>
#include <QMetaType>

#include <cstdint>
#include <memory>

namespace kiruvo {

// The sessions of a GetSessions answer as D-Bus aa{sv}, written straight into the reply message
// from the response: one dictionary per session with "displayString", "duration", "endDate",
// "identifier", "startDate" and "subtitleString" (the dates as a{sv} of their calendar fields),
// keys in that order, as QVariantMap would have sent them. A list of thousands of sessions thus
// costs no map per session and no copy of the list. Only ever sent, never received.
struct SessionListArgument {
    std::shared_ptr<const GetSessionsIntentResponse> response;

    // The most one D-Bus array may hold, in bytes (64 MiB): the bus daemon disconnects a
    // connection that sends a longer one. The rest of a reply is a few bytes, so a list within
    // this also keeps the message within the 128 MiB a message may hold.
    static constexpr std::uint64_t maximumLength = std::uint64_t(1) << 26;

    // The bytes the list takes in the reply, as its array's length field counts them, reckoned
    // from the sessions without writing them: it is written right after the int32 response code.
    std::uint64_t marshalledLength() const;
};

// Makes the types known to Qt D-Bus; call before the first reply is sent.
void registerSessionListArgument();

// A date's calendar fields as a value of a D-Bus dictionary: a{sv} of "day", "hour", "minute",
// "month", "nanosecond", "second", "timeZone" (its identifier), "weekday" and "year", the absent
// fields left out.
QVariant dateComponentsValue(const platform::DateComponents& components);

QDBusArgument& operator<<(QDBusArgument& argument, const SessionListArgument& list);
// Reading one back is not supported: the argument is skipped and the list left empty.
const QDBusArgument& operator>>(const QDBusArgument& argument, SessionListArgument& list);

} // namespace kiruvo

Q_DECLARE_METATYPE(kiruvo::SessionListArgument)
