#pragma once

#include "kit/foundation/core/ErrorValues.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zk {

// Extended attributes of files. On Linux an attribute of one's own lives in the "user." namespace.
namespace ExtendedAttributes {

// Writes the attribute (position 0, no options); 0, or -1 with errno set.
int setExtendedAttributeBytes(
    const std::string& path, const std::string& name, const void* bytes, std::size_t size);
int setExtendedAttributeBytes(
    const std::string& path, const std::string& name, const std::vector<std::uint8_t>& bytes);

// The same, throwing the system error (domain "NSPOSIXErrorDomain", code errno) on failure.
void set(const std::string& path, const std::string& name, const std::vector<std::uint8_t>& bytes);

} // namespace ExtendedAttributes

} // namespace zk
