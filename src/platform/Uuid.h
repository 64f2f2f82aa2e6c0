#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A 128-bit universally unique identifier. Its text form is the upper-case 8-4-4-4-12 hexadecimal
// form that stored sessions and settings hold; reading accepts either case and nothing else.
class Uuid {
public:
    Uuid(); // all zero
    explicit Uuid(const std::array<std::uint8_t, 16>& bytes);

    // Version 4, from the operating system's random source.
    static Uuid random();
    // Version 5: the SHA-1 of the namespace's bytes followed by the UTF-8 name.
    static Uuid nameBased(const Uuid& ns, std::string_view name);
    // 6BA7B811-9DAD-11D1-80B4-00C04FD430C8
    static const Uuid& urlNamespace();

    // Exactly 36 characters: hexadecimal digits of either case in groups of 8-4-4-4-12 joined by
    // hyphens. Braces, blanks, missing hyphens or other lengths give nothing.
    static std::optional<Uuid> parse(std::string_view text);

    std::string uuidString() const;
    const std::array<std::uint8_t, 16>& bytes() const { return m_bytes; }

    // The version number in the high nibble of byte 6 (4 for random, 5 for name-based).
    int version() const { return m_bytes[6] >> 4; }

    auto operator<=>(const Uuid&) const = default;

private:
    std::array<std::uint8_t, 16> m_bytes {};
};

} // namespace platform

template <> struct std::hash<platform::Uuid> {
    std::size_t operator()(const platform::Uuid& uuid) const noexcept;
};
