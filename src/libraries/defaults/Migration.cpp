#include "libraries/defaults/Migration.h"

namespace Defaults {

std::optional<Version> versionFromRawValue(int rawValue)
{
    if (rawValue == 5) {
        return Version::v5;
    }
    return std::nullopt;
}

} // namespace Defaults
