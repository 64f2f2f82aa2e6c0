#include "platform/linux/X11GlobalHotKeys.h"

#include "platform/Logger.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
// The XKB header names a member "explicit".
#define explicit xcb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <array>
#include <cstdlib>
#include <memory>

namespace platform {

namespace {

constexpr std::uint32_t numLockKeysym = 0xff7f;
constexpr std::uint16_t modifierMask
    = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

std::uint16_t maskOf(Qt::KeyboardModifiers modifiers)
{
    std::uint16_t mask = 0;
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if (modifiers.testFlag(Qt::ControlModifier)) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if (modifiers.testFlag(Qt::AltModifier)) {
        mask |= XCB_MOD_MASK_1;
    }
    if (modifiers.testFlag(Qt::MetaModifier)) {
        mask |= XCB_MOD_MASK_4;
    }
    return mask;
}

// True when the request failed.
bool failed(xcb_connection_t* connection, xcb_void_cookie_t cookie)
{
    std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(
        xcb_request_check(connection, cookie), &std::free);
    return error != nullptr;
}

} // namespace

X11GlobalHotKeys* X11GlobalHotKeys::create(QObject* parent)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) {
        return nullptr;
    }
    xcb_connection_t* connection = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (screens.rem == 0) {
        return nullptr;
    }
    return new X11GlobalHotKeys(connection, screens.data->root, parent);
}

std::unique_ptr<X11GlobalHotKeys> X11GlobalHotKeys::connectTo(const char* displayName)
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(displayName, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    auto hotKeys = std::make_unique<X11GlobalHotKeys>(connection, screens.data->root);
    hotKeys->m_ownsConnection = true;
    hotKeys->m_notifier
        = new QSocketNotifier(xcb_get_file_descriptor(connection), QSocketNotifier::Read, hotKeys.get());
    connect(
        hotKeys->m_notifier, &QSocketNotifier::activated, hotKeys.get(), &X11GlobalHotKeys::readOwnEvents);
    return hotKeys;
}

X11GlobalHotKeys::X11GlobalHotKeys(xcb_connection_t* connection, std::uint32_t rootWindow, QObject* parent)
    : GlobalHotKeys(parent)
    , m_connection(connection)
    , m_root(rootWindow)
{
    // A held key then repeats as presses without releases between them.
    std::unique_ptr<xcb_xkb_use_extension_reply_t, decltype(&std::free)> xkb(
        xcb_xkb_use_extension_reply(m_connection, xcb_xkb_use_extension(m_connection, 1, 0), nullptr),
        &std::free);
    if (xkb && xkb->supported) {
        const std::uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
        std::free(xcb_xkb_per_client_flags_reply(m_connection,
            xcb_xkb_per_client_flags(m_connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
    }
    // The filter sees the events of Qt's connection; a connection of our own is read by us.
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11GlobalHotKeys::~X11GlobalHotKeys()
{
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
    while (!m_grabs.empty()) {
        ungrab(m_grabs.begin()->first);
    }
    if (m_ownsConnection) {
        delete m_notifier;
        xcb_disconnect(m_connection);
    }
}

void X11GlobalHotKeys::readOwnEvents()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        nativeEventFilter(QByteArrayLiteral("xcb_generic_event_t"), event, nullptr);
        std::free(event);
    }
}

std::uint16_t X11GlobalHotKeys::numLockMask()
{
    std::uint16_t result = XCB_MOD_MASK_2;
    std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> symbols(
        xcb_key_symbols_alloc(m_connection), &xcb_key_symbols_free);
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> numLockCodes(
        symbols ? xcb_key_symbols_get_keycode(symbols.get(), numLockKeysym) : nullptr, &std::free);
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, decltype(&std::free)> mapping(
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr),
        &std::free);
    if (!numLockCodes || !mapping) {
        return result;
    }
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            for (const xcb_keycode_t* numLock = numLockCodes.get(); code != 0 && *numLock != 0; ++numLock) {
                if (*numLock == code) {
                    return static_cast<std::uint16_t>(1u << modifier);
                }
            }
        }
    }
    return result;
}

bool X11GlobalHotKeys::grabAllVariants(std::uint8_t keyCode, std::uint16_t mask)
{
    const std::uint16_t numLock = numLockMask();
    const std::array<std::uint16_t, 4> variants { 0, XCB_MOD_MASK_LOCK, numLock,
        static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | numLock) };
    std::array<xcb_void_cookie_t, 4> cookies {};
    for (std::size_t i = 0; i < variants.size(); ++i) {
        // Not owner events: the key comes to the root window also while one of our windows has
        // the keyboard, so it is never typed into a field by mistake.
        cookies[i] = xcb_grab_key_checked(
            m_connection, 0, m_root, mask | variants[i], keyCode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    }
    bool refused = false;
    for (const xcb_void_cookie_t cookie : cookies) {
        refused = failed(m_connection, cookie) || refused;
    }
    if (refused) {
        ungrabAllVariants(keyCode, mask);
    }
    return !refused;
}

void X11GlobalHotKeys::ungrabAllVariants(std::uint8_t keyCode, std::uint16_t mask)
{
    const std::uint16_t numLock = numLockMask();
    for (const std::uint16_t variant : { std::uint16_t { 0 }, std::uint16_t { XCB_MOD_MASK_LOCK }, numLock,
             static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | numLock) }) {
        xcb_ungrab_key(m_connection, keyCode, m_root, mask | variant);
    }
    xcb_flush(m_connection);
}

bool X11GlobalHotKeys::isGrabbed(const HotKeyCombination& combination, std::uint32_t exceptId) const
{
    for (const auto& [id, grab] : m_grabs) {
        if (id != exceptId && grab.combination == combination) {
            return true;
        }
    }
    return false;
}

bool X11GlobalHotKeys::grab(std::uint32_t id, const HotKeyCombination& combination)
{
    if (m_grabs.contains(id) || combination.keyCode < 8 || combination.keyCode > 255) {
        return false;
    }
    const auto keyCode = static_cast<std::uint8_t>(combination.keyCode);
    const std::uint16_t mask = maskOf(combination.modifiers);
    if (!isGrabbed(combination, id) && !grabAllVariants(keyCode, mask)) {
        log(LogLevel::Info, lcShortcuts(),
            "Another application holds the key combination " + std::to_string(combination.keyCode)
                + " with modifiers " + std::to_string(mask) + "; it is not taken");
        return false;
    }
    m_grabs[id] = Grab { combination, mask, false };
    return true;
}

void X11GlobalHotKeys::ungrab(std::uint32_t id)
{
    const auto found = m_grabs.find(id);
    if (found == m_grabs.end()) {
        return;
    }
    const Grab grab = found->second;
    m_grabs.erase(found);
    if (!isGrabbed(grab.combination, id)) {
        ungrabAllVariants(static_cast<std::uint8_t>(grab.combination.keyCode), grab.mask);
    }
}

bool X11GlobalHotKeys::isTakenElsewhere(const HotKeyCombination& combination)
{
    if (combination.keyCode < 8 || combination.keyCode > 255 || isGrabbed(combination, 0)) {
        return false;
    }
    const auto keyCode = static_cast<std::uint8_t>(combination.keyCode);
    const std::uint16_t mask = maskOf(combination.modifiers);
    if (failed(m_connection,
            xcb_grab_key_checked(
                m_connection, 0, m_root, mask, keyCode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC))) {
        return true;
    }
    xcb_ungrab_key(m_connection, keyCode, m_root, mask);
    xcb_flush(m_connection);
    return false;
}

bool X11GlobalHotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || message == nullptr) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
        return false;
    }
    const auto* key = static_cast<const xcb_key_press_event_t*>(message);
    if (key->event != m_root) {
        return false;
    }
    return handleKey(type == XCB_KEY_PRESS, key->detail, key->state);
}

bool X11GlobalHotKeys::handleKey(bool isPress, std::uint8_t keyCode, std::uint16_t state)
{
    std::vector<std::uint32_t> ids;
    for (auto& [id, grab] : m_grabs) {
        if (grab.combination.keyCode != keyCode) {
            continue;
        }
        if (isPress) {
            // A key held down repeats as further presses; a modifier let go first still ends it.
            if ((state & modifierMask) != grab.mask || grab.isDown) {
                continue;
            }
            grab.isDown = true;
        } else {
            if (!grab.isDown) {
                continue;
            }
            grab.isDown = false;
        }
        ids.push_back(id);
    }
    // A handler may change the grabs; emit for the ones found.
    for (const std::uint32_t id : ids) {
        if (isPress) {
            Q_EMIT pressed(id);
        } else {
            Q_EMIT released(id);
        }
    }
    return !ids.empty();
}

} // namespace platform
