#pragma once

// The JSON value by name only, for headers that declare what takes or gives one; a file that
// builds, reads or writes values includes JsonWriter.h, which brings nlohmann's whole library.
#include <nlohmann/json_fwd.hpp>

namespace platform {

using JsonValue = nlohmann::ordered_json;

} // namespace platform
