#pragma once

#include <cstdint>

#if __has_include(<source_location>)
#include <source_location>
#endif

namespace platform {

#if defined(__cpp_lib_source_location)

using SourceLocation = std::source_location;

#else

// Where a call was written, for compilers whose standard library lacks std::source_location
// (clang with libstdc++ 12): the same members and the same default-argument use, built on the
// compiler's own builtins.
class SourceLocation {
public:
    static constexpr SourceLocation current(const char* file = __builtin_FILE(),
        const char* function = __builtin_FUNCTION(), std::uint_least32_t line = __builtin_LINE(),
        std::uint_least32_t column = __builtin_COLUMN()) noexcept
    {
        SourceLocation location;
        location.m_file = file;
        location.m_function = function;
        location.m_line = line;
        location.m_column = column;
        return location;
    }

    constexpr SourceLocation() noexcept = default;

    constexpr const char* file_name() const noexcept { return m_file; }
    constexpr const char* function_name() const noexcept { return m_function; }
    constexpr std::uint_least32_t line() const noexcept { return m_line; }
    constexpr std::uint_least32_t column() const noexcept { return m_column; }

private:
    const char* m_file = "";
    const char* m_function = "";
    std::uint_least32_t m_line = 0;
    std::uint_least32_t m_column = 0;
};

#endif

} // namespace platform
