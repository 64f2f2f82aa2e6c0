#pragma once

#include "kit/foundation/core/ErrorValues.h"
#include "platform/store/PropertyList.h"

#include <QUrl>

#include <cstdint>
#include <optional>
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
// The same for a URL: one that names no local file throws the file error "no such file" (Cocoa
// code 4) without touching the file system.
void set(const QUrl& url, const std::string& name, const std::vector<std::uint8_t>& bytes);
// A single value (a Boolean, a whole number, a real or an ASCII text) stored as a binary property
// list; any other value throws the property-list error "invalid value" (Cocoa code 3852).
void setValue(const QUrl& url, const std::string& name, const platform::PropertyList& value);

// The binary property list of a single Boolean, whole number, real or ASCII text; nothing for others.
std::optional<std::vector<std::uint8_t>> binaryPropertyList(const platform::PropertyList& value);

} // namespace ExtendedAttributes

} // namespace zk
