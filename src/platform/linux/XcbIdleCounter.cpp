#include "platform/linux/XcbIdleCounter.h"

#include "platform/Logger.h"

#include <xcb/sync.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <algorithm>
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
    m_firstSyncEvent = extension->first_event;
    // The version this speaks; the server answers with its own, which has the alarms of 3.0.
    if (!ReplyPointer<xcb_sync_initialize_reply_t>(
            xcb_sync_initialize_reply(m_connection, xcb_sync_initialize(m_connection, 3, 1), nullptr))) {
        return fail("the X server's SYNC extension did not answer");
    }
    if (!findCounters()) {
        return fail("the X server's SYNC extension has no IDLETIME counter");
    }
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(m_connection, &xcb_input_id);
    const ReplyPointer<xcb_input_xi_query_version_reply_t> version(input && input->present
            ? xcb_input_xi_query_version_reply(
                m_connection, xcb_input_xi_query_version(m_connection, 2, 2), nullptr)
            : nullptr);
    // Raw events reach a client that has not grabbed the device from 2.1 on.
    if (!version || version->major_version < 2
        || (version->major_version == 2 && version->minor_version < 1)) {
        return fail("the X server lacks XInput 2.1's raw input events");
    }
    m_inputExtension = input->major_opcode;
    m_touch = version->major_version > 2 || version->minor_version >= 2;
    if (!value()) {
        return fail("the X server's SYNC extension did not answer");
    }
    m_readable
        = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    QObject::connect(m_readable.get(), &QSocketNotifier::activated, this, &XcbIdleCounter::readEvents);
    return true;
}

bool XcbIdleCounter::findCounters()
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
        const std::string_view name(reinterpret_cast<const char*>(entry + header), nameLength);
        if (name == "IDLETIME") {
            m_idleCounter = counter;
        } else if (name == "SERVERTIME") {
            m_serverTimeCounter = counter;
        }
        entry += (header + nameLength + 3) & ~std::size_t(3);
    }
    return m_idleCounter != 0;
}

void XcbIdleCounter::disconnect()
{
    m_readable.reset();
    m_alarm = 0;
    m_watching = false;
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
    // The server's time with it, in the same round trip, so that the times its events carry can be
    // told in time before now.
    const xcb_sync_query_counter_cookie_t idle = xcb_sync_query_counter(m_connection, m_idleCounter);
    const std::optional<xcb_sync_query_counter_cookie_t> serverTime = m_serverTimeCounter != 0
        ? std::optional(xcb_sync_query_counter(m_connection, m_serverTimeCounter))
        : std::nullopt;
    const ReplyPointer<xcb_sync_query_counter_reply_t> reply(
        xcb_sync_query_counter_reply(m_connection, idle, nullptr));
    if (serverTime) {
        if (const ReplyPointer<xcb_sync_query_counter_reply_t> time(
                xcb_sync_query_counter_reply(m_connection, *serverTime, nullptr));
            time) {
            m_serverTime = time->counter_value.lo;
            m_askedAt = std::chrono::steady_clock::now();
        }
    }
    // Waiting for the reply may have taken events off the socket into the connection's queue, where
    // the notifier does not see them.
    QMetaObject::invokeMethod(this, &XcbIdleCounter::readEvents, Qt::QueuedConnection);
    if (!reply) {
        return std::nullopt;
    }
    return toInt64(reply->counter_value);
}

void XcbIdleCounter::setAlarm(std::int64_t milliseconds)
{
    if (!m_connection) {
        return;
    }
    xcb_sync_create_alarm_value_list_t attributes {};
    attributes.counter = m_idleCounter;
    attributes.valueType = XCB_SYNC_VALUETYPE_ABSOLUTE;
    attributes.value = toSyncInt64(milliseconds);
    attributes.testType = XCB_SYNC_TESTTYPE_POSITIVE_TRANSITION;
    // Unchanged after firing: a transition fires again at the next crossing.
    attributes.delta = toSyncInt64(0);
    attributes.events = 1;
    constexpr std::uint32_t mask = XCB_SYNC_CA_COUNTER | XCB_SYNC_CA_VALUE_TYPE | XCB_SYNC_CA_VALUE
        | XCB_SYNC_CA_TEST_TYPE | XCB_SYNC_CA_DELTA | XCB_SYNC_CA_EVENTS;
    if (m_alarm == 0) {
        m_alarm = xcb_generate_id(m_connection);
        xcb_sync_create_alarm_aux(m_connection, m_alarm, mask, &attributes);
    } else {
        xcb_sync_change_alarm_value_list_t changed {};
        static_assert(sizeof changed == sizeof attributes);
        std::memcpy(&changed, &attributes, sizeof changed);
        xcb_sync_change_alarm_aux(m_connection, m_alarm, mask, &changed);
    }
    xcb_flush(m_connection);
}

void XcbIdleCounter::removeAlarm()
{
    if (!m_connection || m_alarm == 0) {
        return;
    }
    xcb_sync_destroy_alarm(m_connection, m_alarm);
    xcb_flush(m_connection);
    m_alarm = 0;
}

void XcbIdleCounter::watchInput(bool watching)
{
    if (!m_connection || watching == m_watching) {
        return;
    }
    m_watching = watching;
    // Presses, not releases: a key held down since before the pause is no input now.
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask {};
    mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    mask.head.mask_len = 1;
    if (watching) {
        mask.bits = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS
            | XCB_INPUT_XI_EVENT_MASK_RAW_MOTION
            | (m_touch ? std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_TOUCH_BEGIN) : 0U);
    }
    // Raw events go to the root windows, each screen's.
    for (auto screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)); screen.rem > 0;
         xcb_screen_next(&screen)) {
        xcb_input_xi_select_events(m_connection, screen.data->root, 1, &mask.head);
    }
    xcb_flush(m_connection);
}

std::int64_t XcbIdleCounter::millisecondsSince(std::uint32_t timestamp) const
{
    if (m_serverTimeCounter == 0) {
        return 0;
    }
    const auto sinceAsked
        = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_askedAt)
              .count();
    // The server's time wraps every 49 days: the difference is taken modulo 2^32.
    const auto before = static_cast<std::int32_t>(m_serverTime - timestamp);
    return std::max<std::int64_t>(0, std::int64_t(before) + sinceAsked);
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
    if (type == XCB_GE_GENERIC) {
        const auto& raw = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
        if (!m_watching || raw.extension != m_inputExtension) {
            return;
        }
        switch (raw.event_type) {
        case XCB_INPUT_RAW_KEY_PRESS:
        case XCB_INPUT_RAW_BUTTON_PRESS:
        case XCB_INPUT_RAW_MOTION:
        case XCB_INPUT_RAW_TOUCH_BEGIN:
            input(millisecondsSince(raw.time));
            break;
        default:
            break;
        }
        return;
    }
    if (type != m_firstSyncEvent + XCB_SYNC_ALARM_NOTIFY) {
        return;
    }
    const auto& notify = reinterpret_cast<const xcb_sync_alarm_notify_event_t&>(event);
    if (notify.alarm != 0 && notify.alarm == m_alarm) {
        fired(toInt64(notify.counter_value), millisecondsSince(notify.timestamp));
    }
}

} // namespace platform
