#pragma once

#include "app/windows/SettingsEnvironment.h"
#include "app/windows/SettingsScreen.h"
#include "kit/interface/SingletonWindowController.h"

#include <optional>

namespace kiruvo {

// The one Settings window: it floats above ordinary windows, is titled by its current tab, and
// Ctrl+, inside it brings it forward as it does everywhere else. Opening it again brings the open
// window forward; closing it drops it, and the next opening builds a new one on its first tab.
// Main-thread only.
class SettingsWindowController : public zk::SingletonWindowController {
    Q_OBJECT
public:
    SettingsWindowController();

    // Brings the window forward, on `tab` when one is given (else on the tab it shows).
    static void show(std::optional<SettingsScreen::Tab> tab = std::nullopt);

    // What the panes use of the world outside the store; for the windows built from now on.
    static void setEnvironment(SettingsEnvironment environment);

    SettingsScreen& screen() const { return *m_screen; }

private:
    SettingsScreen* m_screen;
};

} // namespace kiruvo
