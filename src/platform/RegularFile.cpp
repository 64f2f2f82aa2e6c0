#include "platform/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class Descriptor {
public:
    explicit Descriptor(int descriptor)
        : m_descriptor(descriptor)
    {
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (m_descriptor >= 0) {
            ::close(m_descriptor);
        }
    }
    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

} // namespace

RegularFile::Read RegularFile::read(const std::filesystem::path& path, std::size_t maximumSize)
{
    Read result;
    const auto fail = [&result, &path](const std::string& why) {
        result.problem = path.string() + ": " + why;
        return result;
    };
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0) {
        result.missing = errno == ENOENT;
        return fail(std::strerror(errno));
    }
    struct stat status { };
    if (::fstat(file.get(), &status) != 0) {
        return fail(std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        return fail("not a regular file");
    }
    if (status.st_size < 0 || static_cast<std::uintmax_t>(status.st_size) > maximumSize) {
        return fail("larger than " + std::to_string(maximumSize) + " bytes");
    }
    std::string contents(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t filled = 0;
    for (;;) {
        // One byte beyond the limit tells a file that grew since fstat.
        if (filled == contents.size()) {
            if (contents.size() > maximumSize) {
                return fail("larger than " + std::to_string(maximumSize) + " bytes");
            }
            contents.resize(std::min(maximumSize + 1, std::max<std::size_t>(contents.size() * 2, 4096)));
        }
        const ssize_t count = ::read(file.get(), contents.data() + filled, contents.size() - filled);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(std::strerror(errno));
        }
        if (count == 0) {
            break;
        }
        filled += static_cast<std::size_t>(count);
    }
    if (filled > maximumSize) {
        return fail("larger than " + std::to_string(maximumSize) + " bytes");
    }
    contents.resize(filled);
    result.contents = std::move(contents);
    return result;
}

} // namespace platform
