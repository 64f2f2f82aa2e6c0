#pragma once

#include "kit/foundation/core/ErrorValues.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace zk {

// How a relaunch reaches the outside world; tests replace the parts they watch.
struct RelaunchEnvironment {
    // Starts `program` with `arguments` as a process of its own; false, with the reason in
    // `errorText`, when it could not be started. Empty: platform::DetachedProcess::launch.
    std::function<bool(const QString& program, const QStringList& arguments, QString& errorText)>
        startDetached;
    // The executable to start. Empty: ZKApp::url().
    QString executablePath;
    // The installed application's desktop entry for an application identifier, or nothing. Empty:
    // installedApplicationEntry.
    std::function<std::optional<QString>(const std::string& bundleIdentifier)> applicationEntry;
    // The normal termination. Empty: ZKApp::quit().
    std::function<void()> quit;
    // Ends the process at once with status 0, without the termination sequence. Empty: ::exit(0).
    std::function<void()> exitImmediately;
    // Shows an error and returns when it has been dismissed. Empty: presentAsync.
    std::function<QCoro::Task<>(ErrorPtr)> presentError;

    static RelaunchEnvironment& shared();
};

// The path of the desktop entry installed for the application identifier ("<id>.desktop" in the
// applications folders of the XDG data folders), or nothing. A look-up is reused for 1 s per
// identifier.
std::optional<QString> installedApplicationEntry(const std::string& bundleIdentifier);

// The program and arguments a desktop entry's Exec line starts, without its field codes ("%U").
// Nothing when the file has no usable Exec line.
std::optional<QStringList> desktopEntryCommand(const QString& entryPath);

// The argument that tells the new instance to wait for this one to let go of the single-instance
// lock instead of handing over to it.
inline constexpr const char* waitForInstanceLockArgument = "--wait-for-instance-lock";

// Starts a new instance of the application and ends this one: at once with status 0 when
// `exitImmediately`, else through the normal termination. With `showSettingsAfterRelaunch` the new
// instance opens the settings window.
//
// When this very executable cannot be started (moved or replaced by an update, say), the installed
// application's desktop entry is tried next, with the same argument. When neither starts, the
// failure (of the second try, when there was one) is reported and shown and the request for
// the settings window is withdrawn. Then a caller that asked to end at once (whose state may no
// longer be usable) still ends, with status 0; any other keeps running, since quitting would leave
// the user with no instance at all. The answer is false. Main-thread only.
QCoro::Task<bool> relaunchApp(bool exitImmediately, bool showSettingsAfterRelaunch);

} // namespace zk
