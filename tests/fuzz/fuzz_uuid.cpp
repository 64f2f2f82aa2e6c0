// The UUID parser: what it accepts has one text form, which parses back to the same identifier.
#include "FuzzTarget.h"

#include "platform/Uuid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto uuid = platform::Uuid::parse(fuzz::text(data, size));
    if (!uuid) {
        return 0;
    }
    const std::string text = uuid->uuidString();
    fuzz::require(text.size() == 36, "a UUID's text has 36 characters");
    const auto reparsed = platform::Uuid::parse(text);
    fuzz::require(reparsed.has_value() && *reparsed == *uuid, "a UUID survives its text");
    return 0;
}
