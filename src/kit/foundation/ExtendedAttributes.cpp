#include "kit/foundation/ExtendedAttributes.h"

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

} // namespace zk::ExtendedAttributes
