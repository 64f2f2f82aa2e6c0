#pragma once

#include <QDBusMessage>
#include <QVariant>

#include <cstdint>

namespace platform {

// What a message takes on the bus, reckoned from its fields and arguments without marshalling it:
// never less for the basic D-Bus types and their containers, alignment and UTF-8 included. A value
// of a type of the application's own, which QtDBus marshals through its registered operator, counts
// as unknownValueBytes (more than any such value the application sends: a tray icon's pictures, a
// menu's layout).
std::int64_t marshalledSize(const QDBusMessage& message);
std::int64_t marshalledSize(const QVariant& value);

inline constexpr std::int64_t unknownValueBytes = std::int64_t { 256 } * 1024;

} // namespace platform
