#pragma once

#include "kit/foundation/core/ErrorValues.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <qcoro/qcorotask.h>

namespace zk {

// How a relaunch reaches the outside world; tests replace the parts they watch.
struct RelaunchEnvironment {
    // Starts `program` with `arguments` as a process of its own; false, with the reason in
    // `errorText`, when it could not be started. Empty: QProcess::startDetached.
    std::function<bool(const QString& program, const QStringList& arguments, QString& errorText)>
        startDetached;
    // The executable to start. Empty: ZKApp::url().
    QString executablePath;
    // The normal termination. Empty: ZKApp::quit().
    std::function<void()> quit;
    // Ends the process at once with status 0, without the termination sequence. Empty: ::exit(0).
    std::function<void()> exitImmediately;
    // Shows an error and returns when it has been dismissed. Empty: presentAsync.
    std::function<QCoro::Task<>(ErrorPtr)> presentError;

    static RelaunchEnvironment& shared();
};

// The argument that tells the new instance to wait for this one to let go of the single-instance
// lock instead of handing over to it.
inline constexpr const char* waitForInstanceLockArgument = "--wait-for-instance-lock";

// Starts a new instance of the application and ends this one: at once with status 0 when
// `exitImmediately`, else through the normal termination. With `showSettingsAfterRelaunch` the new
// instance opens the settings window.
//
// When the new instance cannot be started, the failure is reported and shown and the request for
// the settings window is withdrawn. Then a caller that asked to end at once (whose state may no
// longer be usable) still ends, with status 0; any other keeps running, since quitting would leave
// the user with no instance at all. The answer is false. Main-thread only.
QCoro::Task<bool> relaunchApp(bool exitImmediately, bool showSettingsAfterRelaunch);

} // namespace zk
