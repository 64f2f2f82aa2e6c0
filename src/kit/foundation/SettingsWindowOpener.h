#pragma once

#include <functional>

namespace zk {

// Brings the settings window forward. The application installs the operation when it builds its
// windows; before that, the request is logged and goes nowhere. Main-thread only.
class SettingsWindowOpener {
public:
    static void setOpener(std::function<void()> opener);
    static bool hasOpener();
    static void open();
};

// The settings window, from code.
inline void openSettingsWindow()
{
    SettingsWindowOpener::open();
}

} // namespace zk
