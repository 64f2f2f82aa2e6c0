#include "platform/Uuid.h"

#include <QByteArrayView>
#include <QCryptographicHash>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/random.h>

namespace platform {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isHyphenPosition(std::size_t index)
{
    return index == 8 || index == 13 || index == 18 || index == 23;
}

void fillRandom(std::uint8_t* buffer, std::size_t length)
{
    std::size_t filled = 0;
    while (filled < length) {
        ssize_t got = getrandom(buffer + filled, length - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            // getrandom exists on every kernel we run on; without it no identifier can be unique.
            std::abort();
        }
        filled += static_cast<std::size_t>(got);
    }
}

} // namespace

Uuid::Uuid() = default;

Uuid::Uuid(const std::array<std::uint8_t, 16>& bytes)
    : m_bytes(bytes)
{
}

Uuid Uuid::random()
{
    Uuid uuid;
    fillRandom(uuid.m_bytes.data(), uuid.m_bytes.size());
    uuid.m_bytes[6] = static_cast<std::uint8_t>((uuid.m_bytes[6] & 0x0F) | 0x40);
    uuid.m_bytes[8] = static_cast<std::uint8_t>((uuid.m_bytes[8] & 0x3F) | 0x80);
    return uuid;
}

Uuid Uuid::nameBased(const Uuid& ns, std::string_view name)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArrayView(
        reinterpret_cast<const char*>(ns.m_bytes.data()), static_cast<qsizetype>(ns.m_bytes.size())));
    hash.addData(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())));
    const QByteArray digest = hash.result();
    Uuid uuid;
    std::memcpy(uuid.m_bytes.data(), digest.constData(), uuid.m_bytes.size());
    uuid.m_bytes[6] = static_cast<std::uint8_t>((uuid.m_bytes[6] & 0x0F) | 0x50);
    uuid.m_bytes[8] = static_cast<std::uint8_t>((uuid.m_bytes[8] & 0x3F) | 0x80);
    return uuid;
}

const Uuid& Uuid::urlNamespace()
{
    static const Uuid ns = *parse("6BA7B811-9DAD-11D1-80B4-00C04FD430C8");
    return ns;
}

std::optional<Uuid> Uuid::parse(std::string_view text)
{
    if (text.size() != 36) {
        return std::nullopt;
    }
    Uuid uuid;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (isHyphenPosition(i)) {
            if (text[i] != '-') {
                return std::nullopt;
            }
            ++i;
            continue;
        }
        int high = hexValue(text[i]);
        int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        uuid.m_bytes[byte++] = static_cast<std::uint8_t>((high << 4) | low);
        i += 2;
    }
    return uuid;
}

std::string Uuid::uuidString() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < m_bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += digits[m_bytes[i] >> 4];
        text += digits[m_bytes[i] & 0x0F];
    }
    return text;
}

} // namespace platform

std::size_t std::hash<platform::Uuid>::operator()(const platform::Uuid& uuid) const noexcept
{
    // FNV-1a over the bytes: random identifiers are already uniform, name-based ones are hashes.
    std::uint64_t h = 1469598103934665603ULL;
    for (std::uint8_t b : uuid.bytes()) {
        h ^= b;
        h *= 1099511628211ULL;
    }
    return static_cast<std::size_t>(h);
}
