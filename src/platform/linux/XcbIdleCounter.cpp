#include "platform/linux/XcbIdleCounter.h"

#include "platform/Logger.h"

#include <xcb/sync.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace platform {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, FreeReply>;

std::int64_t toInt64(xcb_sync_int64_t value)
{
    return static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(value.hi)) << 32) | value.lo);
}

xcb_sync_int64_t toSyncInt64(std::int64_t value)
{
    return { static_cast<std::int32_t>(value >> 32), static_cast<std::uint32_t>(value & 0xffffffffU) };
}

std::size_t index(X11IdleCounter::Alarm alarm)
{
    return alarm == X11IdleCounter::Alarm::threshold ? 0 : 1;
}

} // namespace

XcbIdleCounter::XcbIdleCounter(std::optional<std::string> displayName)
    : m_displayName(std::move(displayName))
{
}

XcbIdleCounter::~XcbIdleCounter()
{
    disconnect();
}

bool XcbIdleCounter::connect(std::string* error)
{
    const auto fail = [&](const char* why) {
        if (error) {
            *error = why;
        }
        disconnect();
        return false;
    };
    disconnect();
    m_connection = xcb_connect(m_displayName ? m_displayName->c_str() : nullptr, nullptr);
    if (xcb_connection_has_error(m_connection)) {
        return fail("the X display cannot be opened");
    }
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(m_connection, &xcb_sync_id);
    if (!extension || !extension->present) {
        return fail("the X server lacks the SYNC extension");
    }
    m_firstEvent = extension->first_event;
    // The version this speaks; the server answers with its own, which has the alarms of 3.0.
    if (!ReplyPointer<xcb_sync_initialize_reply_t>(
            xcb_sync_initialize_reply(m_connection, xcb_sync_initialize(m_connection, 3, 1), nullptr))) {
        return fail("the X server's SYNC extension did not answer");
    }
    if (!findCounter()) {
        return fail("the X server's SYNC extension has no IDLETIME counter");
    }
    m_readable
        = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    QObject::connect(m_readable.get(), &QSocketNotifier::activated, this, &XcbIdleCounter::readEvents);
    return true;
}

bool XcbIdleCounter::findCounter()
{
    const ReplyPointer<xcb_sync_list_system_counters_reply_t> reply(xcb_sync_list_system_counters_reply(
        m_connection, xcb_sync_list_system_counters(m_connection), nullptr));
    if (!reply) {
        return false;
    }
    // Read by hand: libxcb's iterator over the list takes the entry's C struct, padded to 16 bytes,
    // for its 14 bytes on the wire, and so reads every name two bytes late. An entry is the counter
    // (4 bytes), its resolution (8), the name's length (2) and the name, padded to 4 bytes.
    const auto* entry = reinterpret_cast<const std::uint8_t*>(reply.get() + 1);
    const auto* end
        = reinterpret_cast<const std::uint8_t*>(reply.get()) + 32 + std::size_t(reply->length) * 4;
    constexpr std::size_t header = 14;
    for (std::uint32_t i = 0; i < reply->counters_len && entry + header <= end; ++i) {
        std::uint32_t counter = 0;
        std::uint16_t nameLength = 0;
        std::memcpy(&counter, entry, sizeof counter);
        std::memcpy(&nameLength, entry + 12, sizeof nameLength);
        if (entry + header + nameLength > end) {
            break;
        }
        if (std::string_view(reinterpret_cast<const char*>(entry + header), nameLength) == "IDLETIME") {
            m_counter = counter;
            return true;
        }
        entry += (header + nameLength + 3) & ~std::size_t(3);
    }
    return false;
}

void XcbIdleCounter::disconnect()
{
    m_readable.reset();
    m_alarms = {};
    if (m_connection) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
    }
}

std::optional<std::int64_t> XcbIdleCounter::value()
{
    if (!m_connection) {
        return std::nullopt;
    }
    const ReplyPointer<xcb_sync_query_counter_reply_t> reply(
        xcb_sync_query_counter_reply(m_connection, xcb_sync_query_counter(m_connection, m_counter), nullptr));
    // Waiting for the reply may have taken events off the socket into the connection's queue, where
    // the notifier does not see them.
    QMetaObject::invokeMethod(this, &XcbIdleCounter::readEvents, Qt::QueuedConnection);
    if (!reply) {
        return std::nullopt;
    }
    return toInt64(reply->counter_value);
}

void XcbIdleCounter::setAlarm(Alarm alarm, std::int64_t milliseconds)
{
    if (!m_connection) {
        return;
    }
    xcb_sync_create_alarm_value_list_t attributes {};
    attributes.counter = m_counter;
    attributes.valueType = XCB_SYNC_VALUETYPE_ABSOLUTE;
    attributes.value = toSyncInt64(milliseconds);
    attributes.testType = alarm == Alarm::threshold ? XCB_SYNC_TESTTYPE_POSITIVE_TRANSITION
                                                    : XCB_SYNC_TESTTYPE_NEGATIVE_TRANSITION;
    // Unchanged after firing: a transition fires again at the next crossing.
    attributes.delta = toSyncInt64(0);
    attributes.events = 1;
    constexpr std::uint32_t mask = XCB_SYNC_CA_COUNTER | XCB_SYNC_CA_VALUE_TYPE | XCB_SYNC_CA_VALUE
        | XCB_SYNC_CA_TEST_TYPE | XCB_SYNC_CA_DELTA | XCB_SYNC_CA_EVENTS;
    std::uint32_t& id = m_alarms[index(alarm)];
    if (id == 0) {
        id = xcb_generate_id(m_connection);
        xcb_sync_create_alarm_aux(m_connection, id, mask, &attributes);
    } else {
        xcb_sync_change_alarm_value_list_t changed {};
        static_assert(sizeof changed == sizeof attributes);
        std::memcpy(&changed, &attributes, sizeof changed);
        xcb_sync_change_alarm_aux(m_connection, id, mask, &changed);
    }
    xcb_flush(m_connection);
}

void XcbIdleCounter::removeAlarm(Alarm alarm)
{
    std::uint32_t& id = m_alarms[index(alarm)];
    if (!m_connection || id == 0) {
        return;
    }
    xcb_sync_destroy_alarm(m_connection, id);
    xcb_flush(m_connection);
    id = 0;
}

void XcbIdleCounter::readEvents()
{
    if (!m_connection) {
        return;
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        const ReplyPointer<xcb_generic_event_t> owned(event);
        handle(event);
        if (!m_connection) {
            return;
        }
    }
    if (xcb_connection_has_error(m_connection)) {
        disconnect();
        lost("the X server closed the connection");
    }
}

void XcbIdleCounter::handle(const void* received)
{
    const auto& event = *static_cast<const xcb_generic_event_t*>(received);
    const std::uint8_t type = event.response_type & 0x7f;
    if (type == 0) {
        // An alarm request the server refused: a fault here, not the user's, told once.
        if (!m_reportedError) {
            m_reportedError = true;
            const auto& error = reinterpret_cast<const xcb_generic_error_t&>(event);
            log(LogLevel::Warning, lcIdle(),
                "The X server refused an idle alarm (error " + std::to_string(error.error_code) + ", request "
                    + std::to_string(error.major_code) + "." + std::to_string(error.minor_code) + ")");
        }
        return;
    }
    if (type != m_firstEvent + XCB_SYNC_ALARM_NOTIFY) {
        return;
    }
    const auto& notify = reinterpret_cast<const xcb_sync_alarm_notify_event_t&>(event);
    for (const Alarm alarm : { Alarm::threshold, Alarm::input }) {
        if (notify.alarm != 0 && notify.alarm == m_alarms[index(alarm)]) {
            fired(alarm, toInt64(notify.counter_value));
        }
    }
}

} // namespace platform
