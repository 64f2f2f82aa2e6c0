// The stored text of one property-list object: what decodes encodes, and reads back equal.
#include "FuzzTarget.h"

#include "platform/store/PropertyListJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto object = platform::PropertyListJson::decode(fuzz::text(data, size));
    if (!object) {
        return 0;
    }
    const auto encoded = platform::PropertyListJson::encode(*object);
    fuzz::require(encoded.has_value(), "a decoded object encodes");
    const auto decoded = platform::PropertyListJson::decode(*encoded);
    fuzz::require(decoded.has_value(), "an encoded object decodes");
    fuzz::require(*decoded == *object, "an object survives its stored text");
    fuzz::require(platform::PropertyListJson::encode(*decoded) == encoded, "the stored text is stable");
    return 0;
}
