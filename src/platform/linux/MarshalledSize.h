#pragma once

#include <QDBusMessage>
#include <QVariant>

#include <cstdint>

namespace platform {

// What a message takes on the bus, reckoned from its fields and arguments without marshalling it:
// the header as the bus writes it, the arguments within their alignment, strings as UTF-8. The
// application's own types of the status item and its menu count at their size; a value of any other
// type QtDBus marshals through a registered operator counts as unknownValueBytes.
std::int64_t marshalledSize(const QDBusMessage& message);
std::int64_t marshalledSize(const QVariant& value);

inline constexpr std::int64_t unknownValueBytes = std::int64_t { 256 } * 1024;

} // namespace platform
