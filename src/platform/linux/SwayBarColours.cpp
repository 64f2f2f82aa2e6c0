#include "platform/linux/SwayBarColours.h"

#include "platform/Logger.h"
#include "platform/desktop/StatusItem.h"

#include <nlohmann/json.hpp>

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr char magic[] = "i3-ipc";
constexpr int magicLength = 6;
constexpr int headerLength = magicLength + 8;
constexpr quint32 subscribeMessage = 2;
constexpr quint32 getBarConfigMessage = 6;
constexpr quint32 barConfigUpdateEvent = 0x80000004;
// A bar's configuration is a few kilobytes; sway's replies to what is asked here never come near.
constexpr quint32 largestPayload = 1 << 20;
// A bar less opaque than this shows the desktop under it, whose colour nobody knows.
constexpr int leastOpaqueAlpha = 0xc0;

std::optional<QColor> colourAt(const nlohmann::json& colours, const char* key)
{
    const auto found = colours.find(key);
    if (found == colours.end() || !found->is_string()) {
        return std::nullopt;
    }
    return SwayBarColours::colourFrom(found->get<std::string>());
}

// Whether the bar shows a tray at all: sway names the outputs of its tray only when they are
// restricted, and "none" turns it off.
bool showsTray(const nlohmann::json& bar)
{
    if (bar.value("mode", std::string()) == "invisible") {
        return false;
    }
    const auto outputs = bar.find("tray_outputs");
    return outputs == bar.end() || !outputs->is_array() || !(outputs->size() == 1 && (*outputs)[0] == "none");
}

} // namespace

std::optional<QColor> SwayBarColours::colourFrom(const std::string& text)
{
    if ((text.size() != 7 && text.size() != 9) || text[0] != '#') {
        return std::nullopt;
    }
    quint32 value = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9' ? c - '0'
            : c >= 'a' && c <= 'f'             ? c - 'a' + 10
            : c >= 'A' && c <= 'F'             ? c - 'A' + 10
                                               : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = (value << 4) | quint32(digit);
    }
    if (text.size() == 7) {
        value = (value << 8) | 0xff;
    }
    return QColor(int(value >> 24), int((value >> 16) & 0xff), int((value >> 8) & 0xff), int(value & 0xff));
}

SwayBarColours::Colours SwayBarColours::coloursOf(const std::map<std::string, std::string>& configurations)
{
    std::vector<QColor> backgrounds;
    std::vector<QColor> foregrounds;
    for (const auto& [id, text] : configurations) {
        const nlohmann::json bar = nlohmann::json::parse(text, nullptr, false);
        if (!bar.is_object() || !showsTray(bar)) {
            continue;
        }
        const auto colours = bar.find("colors");
        if (colours == bar.end() || !colours->is_object()) {
            return {};
        }
        // The bar on the focused output and on the others.
        for (const char* key : { "background", "focused_background" }) {
            const auto colour = colourAt(*colours, key);
            if (!colour || colour->alpha() < leastOpaqueAlpha) {
                return {};
            }
            backgrounds.push_back(QColor(colour->rgb()));
        }
        for (const char* key : { "statusline", "focused_statusline" }) {
            if (const auto colour = colourAt(*colours, key)) {
                foregrounds.push_back(QColor(colour->rgb()));
            }
        }
    }
    if (backgrounds.empty()) {
        return {};
    }
    const QColor shade = contrastingColor(backgrounds.front());
    for (const QColor& background : backgrounds) {
        if (contrastingColor(background) != shade) {
            return {};
        }
    }
    Colours result { backgrounds.front(), std::nullopt };
    if (!foregrounds.empty()) {
        bool readsOnEach = true;
        for (const QColor& background : backgrounds) {
            readsOnEach = readsOnEach && contrastRatio(foregrounds.front(), background) >= readableContrast;
        }
        if (readsOnEach) {
            result.foreground = foregrounds.front();
        }
    }
    return result;
}

SwayBarColours& SwayBarColours::shared()
{
    static SwayBarColours* colours = new SwayBarColours(QString::fromLocal8Bit(qgetenv("SWAYSOCK")));
    return *colours;
}

SwayBarColours::SwayBarColours(const QString& socketPath, QObject* parent)
    : QObject(parent)
{
    const QByteArray path = socketPath.toLocal8Bit();
    sockaddr_un address {};
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof address.sun_path) {
        return;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    m_socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    // A local socket connects at once or not at all (EAGAIN: sway's backlog is full, as it never
    // is while sway runs).
    if (m_socket < 0
        || ::connect(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        log(LogLevel::Info, lcTray(),
            "Sway's bar colours are unknown: its IPC socket " + path.toStdString()
                + " cannot be reached: " + std::strerror(errno));
        if (m_socket >= 0) {
            ::close(m_socket);
            m_socket = -1;
        }
        return;
    }
    m_readable = new QSocketNotifier(qintptr(m_socket), QSocketNotifier::Read, this);
    connect(m_readable, &QSocketNotifier::activated, this, &SwayBarColours::readMessages);
    m_writable = new QSocketNotifier(qintptr(m_socket), QSocketNotifier::Write, this);
    m_writable->setEnabled(false);
    connect(m_writable, &QSocketNotifier::activated, this, &SwayBarColours::writePending);
    // Changes first, so that none made while the bars are read is missed.
    send(subscribeMessage, QByteArrayLiteral("[\"barconfig_update\"]"));
    send(getBarConfigMessage, {});
}

SwayBarColours::~SwayBarColours()
{
    if (m_socket >= 0) {
        ::close(m_socket);
    }
}

void SwayBarColours::send(quint32 type, const QByteArray& payload)
{
    m_unsent.append(magic, magicLength);
    const quint32 header[2] = { quint32(payload.size()), type };
    m_unsent.append(reinterpret_cast<const char*>(header), sizeof header);
    m_unsent.append(payload);
    writePending();
}

void SwayBarColours::writePending()
{
    while (m_socket >= 0 && !m_unsent.isEmpty()) {
        const ssize_t written
            = ::send(m_socket, m_unsent.constData(), std::size_t(m_unsent.size()), MSG_NOSIGNAL);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                lose();
            }
            break;
        }
        m_unsent.remove(0, qsizetype(written));
    }
    if (m_writable) {
        m_writable->setEnabled(!m_unsent.isEmpty());
    }
}

void SwayBarColours::readMessages()
{
    char chunk[4096];
    for (;;) {
        const ssize_t count = ::recv(m_socket, chunk, sizeof chunk, 0);
        if (count > 0) {
            m_buffer.append(chunk, qsizetype(count));
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // Sway has gone; a new one has a socket of its own.
            lose();
            return;
        }
        break;
    }
    while (m_buffer.size() >= headerLength) {
        quint32 header[2];
        std::memcpy(header, m_buffer.constData() + magicLength, sizeof header);
        if (!m_buffer.startsWith(QByteArray::fromRawData(magic, magicLength)) || header[0] > largestPayload) {
            log(LogLevel::Warning, lcTray(),
                "Sway's IPC socket sent something that is no message: it is no longer read");
            lose();
            return;
        }
        if (m_buffer.size() < headerLength + qsizetype(header[0])) {
            return;
        }
        const QByteArray payload = m_buffer.mid(headerLength, header[0]);
        m_buffer.remove(0, headerLength + header[0]);
        received(header[1], payload);
    }
}

void SwayBarColours::lose()
{
    // Perhaps from inside a notifier's own signal.
    for (QSocketNotifier** notifier : { &m_readable, &m_writable }) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    ::close(m_socket);
    m_socket = -1;
    m_buffer.clear();
    m_unsent.clear();
    m_configurations.clear();
    update();
}

void SwayBarColours::received(quint32 type, const QByteArray& payload)
{
    if (type != getBarConfigMessage && type != barConfigUpdateEvent) {
        return;
    }
    const nlohmann::json reply
        = nlohmann::json::parse(payload.constData(), payload.constData() + payload.size(), nullptr, false);
    if (type == getBarConfigMessage && !m_listed) {
        // The first answer lists the bars' ids; each is then asked for its configuration.
        m_listed = true;
        if (reply.is_array()) {
            for (const auto& id : reply) {
                if (id.is_string()) {
                    ++m_awaited;
                    send(getBarConfigMessage, QByteArray::fromStdString(id.get<std::string>()));
                }
            }
        }
        if (m_awaited == 0) {
            update();
        }
        return;
    }
    if (type == getBarConfigMessage) {
        --m_awaited;
    }
    if (reply.is_object() && reply.contains("id") && reply["id"].is_string()) {
        m_configurations[reply["id"].get<std::string>()] = payload.toStdString();
    }
    // Each bar's colours are told once all the bars have answered.
    if (m_awaited <= 0) {
        update();
    }
}

void SwayBarColours::update()
{
    const Colours colours = coloursOf(m_configurations);
    if (colours == m_colours) {
        return;
    }
    m_colours = colours;
    emit changed();
}

} // namespace platform
