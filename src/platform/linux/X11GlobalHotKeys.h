#pragma once

#include "platform/desktop/GlobalHotKeys.h"

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <map>
#include <memory>

class QSocketNotifier;

struct xcb_connection_t;

namespace platform {

// Hot keys as passive key grabs on the X server's root window, taken on Qt's own connection; the
// key events of a grab come through Qt's native event filter. Each combination is grabbed four
// times, bare and with Caps Lock, Num Lock and both, so that the lock keys do not get in the way.
// Detectable auto-repeat is asked for, and a press of a key that is down already is dropped, so
// holding a combination is one press.
//
// Main-thread only.
class X11GlobalHotKeys final : public GlobalHotKeys, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // On Qt's own connection; nothing when Qt does not run on X11.
    static X11GlobalHotKeys* create(QObject* parent = nullptr);
    // On a connection of its own to the display (nullptr: $DISPLAY), whose events it reads itself,
    // whatever Qt runs on; nothing when the display cannot be opened.
    static std::unique_ptr<X11GlobalHotKeys> connectTo(const char* displayName = nullptr);
    X11GlobalHotKeys(xcb_connection_t* connection, std::uint32_t rootWindow, QObject* parent = nullptr);
    ~X11GlobalHotKeys() override;

    bool isAvailable() const override { return true; }
    bool grab(std::uint32_t id, const HotKeyCombination& combination) override;
    void ungrab(std::uint32_t id) override;
    bool isTakenElsewhere(const HotKeyCombination& combination) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        HotKeyCombination combination;
        std::uint16_t mask = 0;
        bool isDown = false;
    };

    std::uint16_t numLockMask();
    // Grabs the combination with every lock variant; all or none.
    bool grabAllVariants(std::uint8_t keyCode, std::uint16_t mask);
    void ungrabAllVariants(std::uint8_t keyCode, std::uint16_t mask);
    bool isGrabbed(const HotKeyCombination& combination, std::uint32_t exceptId) const;
    // Whether `event` is a key of a grab: the event reaches the application no further.
    bool handleKey(bool isPress, std::uint8_t keyCode, std::uint16_t state);

    // Reads and handles the events waiting on a connection of its own.
    void readOwnEvents();

    xcb_connection_t* m_connection;
    std::uint32_t m_root;
    bool m_ownsConnection = false;
    QSocketNotifier* m_notifier = nullptr;
    std::map<std::uint32_t, Grab> m_grabs;
};

} // namespace platform
