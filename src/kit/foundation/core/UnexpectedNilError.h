#pragma once

#include "kit/foundation/core/ErrorValues.h"

#include "platform/SourceLocation.h"
#include <optional>
#include <string>

namespace zk {

// A value that had to be there was missing: reported instead of stopping the program.
class UnexpectedNilError final : public Error {
public:
    UnexpectedNilError(std::optional<std::string> message, std::string file, long line);
    static UnexpectedNilError here(std::optional<std::string> message = std::nullopt,
        platform::SourceLocation where = platform::SourceLocation::current());

    std::string domain() const override { return "zk.UnexpectedNilError"; }
    // "Unexpected nil encountered at <file>:<line>"
    std::string failureReason() const;
    std::string localizedDescription() const override;
    std::string debugDescription() const override;
    const char* what() const noexcept override { return m_what.c_str(); }

    const std::optional<std::string>& message() const { return m_message; }
    const std::string& file() const { return m_file; }
    long line() const { return m_line; }

private:
    std::optional<std::string> m_message;
    std::string m_file;
    long m_line;
    std::string m_what;
};

// The value, or UnexpectedNilError thrown for its absence.
template <class T>
T valueOrThrow(std::optional<T> value, std::optional<std::string> message = std::nullopt,
    platform::SourceLocation where = platform::SourceLocation::current())
{
    if (!value) {
        throw UnexpectedNilError::here(std::move(message), where);
    }
    return std::move(*value);
}

} // namespace zk
