#include "platform/ChildProcessSignals.h"

#include <QProcess>

#include <csignal>

namespace platform {

void ChildProcessSignals::restoreDefaults() noexcept
{
    // Blocked first, so that none arrives while a handler of this process is still installed.
    sigset_t all;
    sigfillset(&all);
    ::sigprocmask(SIG_SETMASK, &all, nullptr);
    struct sigaction standard { };
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (int number = 1; number < NSIG; ++number) {
        // The C library's own signals refuse a change; they are not a program's business.
        if (number != SIGKILL && number != SIGSTOP) {
            ::sigaction(number, &standard, nullptr);
        }
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

void ChildProcessSignals::applyTo(QProcess& process, std::function<void()> thenInChild)
{
    process.setChildProcessModifier([thenInChild = std::move(thenInChild)] {
        restoreDefaults();
        if (thenInChild) {
            thenInChild();
        }
    });
}

} // namespace platform
