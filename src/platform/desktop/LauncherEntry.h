#pragma once

#include <QtGlobal>

#include <optional>

namespace platform {

// What the desktop's launcher, dock or task manager shows over the application's icon: a progress
// bar and a count badge, each with its own visibility.
struct LauncherEntryState {
    double progress = 0;
    bool progressVisible = false;
    qint64 count = 0;
    bool countVisible = false;

    bool operator==(const LauncherEntryState&) const = default;
};

// Sends the launcher entry's state to whatever shows it. Sending never fails towards the caller:
// a desktop without such a launcher simply shows nothing.
//
// Main-thread only.
class LauncherEntry {
public:
    virtual ~LauncherEntry() = default;

    virtual void update(const LauncherEntryState& state) = 0;

    // The entry the application uses. Tests install a fake; when nothing has been installed, the
    // D-Bus launcher entry of the application's desktop entry is created on first use.
    static LauncherEntry& shared();
    // Not owned; nullptr goes back to the D-Bus entry on the next shared().
    static void setShared(LauncherEntry* entry);
};

} // namespace platform
