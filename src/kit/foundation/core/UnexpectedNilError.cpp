#include "kit/foundation/core/UnexpectedNilError.h"

#include <string_view>

namespace zk {

UnexpectedNilError::UnexpectedNilError(std::optional<std::string> message, std::string file, long line)
    : m_message(std::move(message))
    , m_file(std::move(file))
    , m_line(line)
    , m_what(localizedDescription())
{
}

UnexpectedNilError UnexpectedNilError::here(
    std::optional<std::string> message, platform::SourceLocation where)
{
    const std::string_view path = where.file_name();
    const auto slash = path.rfind('/');
    return UnexpectedNilError(std::move(message),
        std::string(slash == std::string_view::npos ? path : path.substr(slash + 1)),
        static_cast<long>(where.line()));
}

std::string UnexpectedNilError::failureReason() const
{
    return "Unexpected nil encountered at " + m_file + ":" + std::to_string(m_line);
}

std::string UnexpectedNilError::localizedDescription() const
{
    return m_message.value_or(failureReason());
}

std::string UnexpectedNilError::debugDescription() const
{
    return "UnexpectedNilError(message: " + (m_message ? "\"" + *m_message + "\"" : std::string("nil"))
        + ", file: \"" + m_file + "\", line: " + std::to_string(m_line) + ")";
}

} // namespace zk
