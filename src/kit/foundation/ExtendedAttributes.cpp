#include "kit/foundation/ExtendedAttributes.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <sys/xattr.h>

namespace zk::ExtendedAttributes {

int setExtendedAttributeBytes(
    const std::string& path, const std::string& name, const void* bytes, std::size_t size)
{
    return ::setxattr(path.c_str(), name.c_str(), bytes, size, 0);
}

int setExtendedAttributeBytes(
    const std::string& path, const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    return setExtendedAttributeBytes(path, name, bytes.data(), bytes.size());
}

void set(const std::string& path, const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    if (setExtendedAttributeBytes(path, name, bytes) == 0) {
        return;
    }
    const int error = errno;
    throw PlatformError("NSPOSIXErrorDomain", error,
        { { ErrorKeys::localizedDescription,
            std::string("Could not set the attribute “") + name + "” of “" + path
                + "”: " + std::strerror(error) } });
}

void set(const QUrl& url, const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    if (!url.isLocalFile()) {
        throw PlatformError(ErrorDomains::cocoa, ErrorDomains::fileNoSuchFile, {});
    }
    set(url.toLocalFile().toStdString(), name, bytes);
}

void setValue(const QUrl& url, const std::string& name, const platform::PropertyList& value)
{
    if (!url.isLocalFile()) {
        throw PlatformError(ErrorDomains::cocoa, ErrorDomains::fileNoSuchFile, {});
    }
    const auto bytes = binaryPropertyList(value);
    if (!bytes) {
        throw PlatformError(ErrorDomains::cocoa, ErrorDomains::propertyListWriteInvalid, {});
    }
    set(url.toLocalFile().toStdString(), name, *bytes);
}

std::optional<std::vector<std::uint8_t>> binaryPropertyList(const platform::PropertyList& value)
{
    std::vector<std::uint8_t> bytes { 'b', 'p', 'l', 'i', 's', 't', '0', '0' };
    const auto bigEndian = [&bytes](std::uint64_t number, int size) {
        for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<std::uint8_t>(number >> shift));
        }
    };
    // The one object, at offset 8.
    if (const bool* flag = value.getIf<bool>()) {
        bytes.push_back(*flag ? 0x09 : 0x08);
    } else if (const std::int64_t* number = value.getIf<std::int64_t>()) {
        bytes.push_back(0x13); // an eight-byte integer
        bigEndian(static_cast<std::uint64_t>(*number), 8);
    } else if (const double* real = value.getIf<double>()) {
        bytes.push_back(0x23); // an eight-byte real
        bigEndian(std::bit_cast<std::uint64_t>(*real), 8);
    } else if (const std::string* text = value.getIf<std::string>()) {
        for (const char c : *text) {
            if (static_cast<unsigned char>(c) > 0x7F) {
                return std::nullopt;
            }
        }
        if (text->size() < 15) {
            bytes.push_back(static_cast<std::uint8_t>(0x50 | text->size()));
        } else {
            bytes.push_back(0x5F);
            bytes.push_back(0x13);
            bigEndian(text->size(), 8);
        }
        bytes.insert(bytes.end(), text->begin(), text->end());
    } else {
        return std::nullopt;
    }
    const std::uint64_t offsetTable = bytes.size();
    const int offsetSize = offsetTable > 0xFF ? 8 : 1;
    bigEndian(8, offsetSize);
    bytes.insert(bytes.end(), 6, 0); // unused, sort version
    bytes.push_back(static_cast<std::uint8_t>(offsetSize));
    bytes.push_back(1); // object reference size
    bigEndian(1, 8); // objects
    bigEndian(0, 8); // the top object
    bigEndian(offsetTable, 8);
    return bytes;
}

} // namespace zk::ExtendedAttributes
