// The strict JSON reader and the exact writer: whatever is read and can be written reads back
// equal, and writing it again gives the same text.
#include "FuzzTarget.h"

#include "platform/store/JsonWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto value = platform::JsonReader::parse(fuzz::text(data, size));
    if (!value) {
        return 0;
    }
    const auto written = platform::JsonWriter::write(*value);
    if (!written) {
        return 0;
    }
    const auto reread = platform::JsonReader::parse(*written);
    fuzz::require(reread.has_value(), "written JSON reads back");
    fuzz::require(*reread == *value, "JSON read back equals what was written");
    const auto rewritten = platform::JsonWriter::write(*reread);
    fuzz::require(rewritten == written, "JSON written twice gives the same text");
    return 0;
}
