#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <string>

struct wl_display;
struct wl_registry;
struct org_kde_kwin_fake_input;

// A user at a KWin that has no input devices: pointer motion and key presses through KWin's
// org_kde_kwin_fake_input protocol, as KDE Connect's remote input sends them. Each call returns
// once KWin has handled the input (a round trip follows it), so its moment is known.
class KWinFakeInput {
public:
    // Connects to the compositor's socket `socketPath`. Nothing when it does not answer or offers
    // no fake input (KWin offers it only to clients it trusts), with the reason in `error`.
    static std::unique_ptr<KWinFakeInput> open(const QString& socketPath, std::string* error);
    ~KWinFakeInput();
    KWinFakeInput(const KWinFakeInput&) = delete;
    KWinFakeInput& operator=(const KWinFakeInput&) = delete;

    // Moves the pointer a little and back; false when the compositor is gone.
    bool movePointer();
    // Presses and releases the key of this evdev key code.
    bool pressKey(std::uint32_t evdevKey);

private:
    KWinFakeInput() = default;
    bool roundTrip();

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    org_kde_kwin_fake_input* m_input = nullptr;
    std::uint32_t m_version = 0;
};
