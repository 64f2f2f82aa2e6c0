#pragma once

#include <QObject>

#include <cstdint>

namespace platform {

// A key combination as the desktop sees it: the X server's key code (the evdev code plus 8) and
// the modifiers held with it (Qt's Meta is the Super key). Caps Lock and Num Lock are no part of it.
struct HotKeyCombination {
    std::uint32_t keyCode = 0;
    Qt::KeyboardModifiers modifiers;

    friend bool operator==(const HotKeyCombination& a, const HotKeyCombination& b)
    {
        return a.keyCode == b.keyCode && a.modifiers == b.modifiers;
    }
};

// System-wide hot keys: key combinations that reach this application whichever window has the
// keyboard. Each grab has an id of the caller's choosing; pressing its combination emits pressed()
// once (a key held down and repeating is one press) and letting go emits released().
//
// Main-thread only.
class GlobalHotKeys : public QObject {
    Q_OBJECT
public:
    explicit GlobalHotKeys(QObject* parent = nullptr);
    ~GlobalHotKeys() override;

    // False where the desktop lets no application take keys for itself (a Wayland session without
    // X11): every grab then fails.
    virtual bool isAvailable() const = 0;
    // Takes the combination for `id`; false when the desktop refuses it (another client holds it)
    // or the id has a grab already.
    virtual bool grab(std::uint32_t id, const HotKeyCombination& combination) = 0;
    // Gives the id's combination back; nothing for an id without a grab.
    virtual void ungrab(std::uint32_t id) = 0;
    // Whether another client holds the combination now (a desktop shortcut such as the one for
    // screenshots). A combination this object holds is not taken elsewhere.
    virtual bool isTakenElsewhere(const HotKeyCombination& combination) = 0;

    // The application installs its implementation at start-up, tests install a fake; when nothing
    // has been installed, the X11 implementation is created on first use where Qt runs on X11,
    // else one that is not available.
    static GlobalHotKeys& shared();
    // Not owned; nullptr goes back to the default on the next shared().
    static void setShared(GlobalHotKeys* hotKeys);

Q_SIGNALS:
    void pressed(std::uint32_t id);
    void released(std::uint32_t id);
};

} // namespace platform
