#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace platform {

// Starts a program that lives on by itself (the desktop's settings, an application, a new instance
// of this one): in a session of its own, no child of this process, its signals as a new process has
// them (ChildProcessSignals), its standard input, output and error this process's. Nothing waits for
// it, and it lives on when this process ends. Main-thread only.
class DetachedProcess {
public:
    using Starter
        = std::function<bool(const std::string& program, const std::vector<std::string>& arguments)>;

    // The started program's process id, or nothing with the reason in `error`. A `program` without
    // a slash is looked for on PATH; an empty `workingDirectory` keeps this process's.
    static std::optional<pid_t> launch(const QString& program, const QStringList& arguments,
        const QString& workingDirectory = {}, QString* error = nullptr);

    // A desktop helper: false when it could not be started; that is logged here. Tests install a
    // starter that records instead.
    static bool start(const std::string& program, const std::vector<std::string>& arguments);

    // An empty starter restores the real one.
    static void setStarterForTesting(Starter starter);
};

} // namespace platform
