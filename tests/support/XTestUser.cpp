#include "XTestUser.h"

#include <QDeadlineTimer>
#include <QThread>

#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

XTestUser::XTestUser()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    m_symbols = xcb_key_symbols_alloc(m_connection);
}

XTestUser::~XTestUser()
{
    if (m_symbols) {
        xcb_key_symbols_free(m_symbols);
    }
    if (m_connection) {
        xcb_disconnect(m_connection);
    }
}

void XTestUser::moveTo(QPoint rootPosition)
{
    xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root,
        static_cast<std::int16_t>(rootPosition.x()), static_cast<std::int16_t>(rootPosition.y()), 0);
    sync();
}

void XTestUser::button(bool press, std::uint8_t button)
{
    xcb_test_fake_input(m_connection, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME,
        XCB_NONE, 0, 0, 0);
    sync();
}

void XTestUser::key(bool press, std::uint32_t keySymbol)
{
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_symbols, keySymbol);
    if (!codes) {
        return;
    }
    xcb_test_fake_input(
        m_connection, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, codes[0], XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    free(codes);
}

void XTestUser::tap(std::uint32_t keySymbol, std::initializer_list<std::uint32_t> modifierSymbols)
{
    for (const std::uint32_t modifier : modifierSymbols) {
        key(true, modifier);
    }
    key(true, keySymbol);
    key(false, keySymbol);
    for (const std::uint32_t modifier : modifierSymbols) {
        key(false, modifier);
    }
    sync();
}

void XTestUser::sync()
{
    free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

xcb_atom_t XTestUser::atom(const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(m_connection,
        xcb_intern_atom(m_connection, 0, static_cast<std::uint16_t>(strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

std::vector<std::uint32_t> XTestUser::cardinals(xcb_window_t window, xcb_atom_t property)
{
    std::vector<std::uint32_t> values;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(m_connection,
        xcb_get_property(m_connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr);
    if (reply && reply->format == 32) {
        const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    return values;
}

bool XTestUser::windowManagerRoundTrip(int timeoutMs)
{
    const xcb_atom_t desktops = atom("_NET_NUMBER_OF_DESKTOPS");
    const auto current = cardinals(m_root, desktops);
    if (current.empty()) {
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    for (const std::uint32_t wanted : { current.front() + 1, current.front() }) {
        if (!askWindowManager(desktops, wanted, deadline)) {
            return false;
        }
    }
    return true;
}

bool XTestUser::switchToDesktop(std::uint32_t desktop, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const xcb_atom_t desktops = atom("_NET_NUMBER_OF_DESKTOPS");
    const auto count = cardinals(m_root, desktops);
    if (count.empty() || (count.front() <= desktop && !askWindowManager(desktops, desktop + 1, deadline))) {
        return false;
    }
    return askWindowManager(atom("_NET_CURRENT_DESKTOP"), desktop, deadline);
}

bool XTestUser::askWindowManager(xcb_atom_t property, std::uint32_t wanted, const QDeadlineTimer& deadline)
{
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = m_root;
    message.type = property;
    message.data.data32[0] = wanted;
    xcb_send_event(m_connection, 0, m_root,
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&message));
    xcb_flush(m_connection);
    while (cardinals(m_root, property) != std::vector<std::uint32_t> { wanted }) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(5);
    }
    return true;
}

bool XTestUser::pointerIsGrabbedByAnother()
{
    xcb_grab_pointer_reply_t* reply = xcb_grab_pointer_reply(m_connection,
        xcb_grab_pointer(m_connection, 0, m_root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE,
            XCB_NONE, XCB_CURRENT_TIME),
        nullptr);
    const bool grabbed = reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
    if (reply && reply->status == XCB_GRAB_STATUS_SUCCESS) {
        xcb_ungrab_pointer(m_connection, XCB_CURRENT_TIME);
        sync();
    }
    free(reply);
    return grabbed;
}

std::optional<QPoint> XTestUser::rootPosition(xcb_window_t window)
{
    xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr);
    if (!reply) {
        return std::nullopt;
    }
    const QPoint position(reply->dst_x, reply->dst_y);
    free(reply);
    return position;
}

std::vector<std::uint32_t> XTestUser::frameExtents(xcb_window_t window)
{
    return cardinals(window, atom("_NET_FRAME_EXTENTS"));
}

std::string XTestUser::wmState(xcb_window_t window)
{
    const auto state = cardinals(window, atom("WM_STATE"));
    if (state.empty()) {
        return "none";
    }
    // The states' numbers in the ICCCM.
    switch (state.front()) {
    case 0:
        return "withdrawn";
    case 1:
        return "normal";
    case 3:
        return "iconic";
    default:
        return std::to_string(state.front());
    }
}

bool XTestUser::isManaged(xcb_window_t window)
{
    const auto clients = cardinals(m_root, atom("_NET_CLIENT_LIST"));
    return std::find(clients.begin(), clients.end(), window) != clients.end();
}
