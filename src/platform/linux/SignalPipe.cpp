#include "platform/linux/SignalPipe.h"

#include "platform/Logger.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

// The write end for the handler; -1 when no pipe is set up.
std::atomic<int> writeFd { -1 };
// The pipe that watches, for deliverPending(); main thread only.
SignalPipe* watchingPipe = nullptr;

extern "C" void writeSignalToPipe(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = writeFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds enough to wake the reader; losing this byte loses nothing.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

struct SignalPipe::Installed {
    int signalNumber;
    struct sigaction previous;
};

SignalPipe::SignalPipe(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent)
{
    if (writeFd.load() >= 0) {
        log(LogLevel::Warning, lcSystem(), "A signal pipe is already watching; this one watches nothing");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0) {
        log(LogLevel::Error, lcSystem(),
            fmt::format("Cannot create the signal socket pair: {}", std::strerror(errno)));
        m_fds[0] = m_fds[1] = -1;
        return;
    }
    writeFd.store(m_fds[0]);
    watchingPipe = this;
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalPipe::readPending);

    for (const int signalNumber : signalNumbers) {
        struct sigaction action { };
        action.sa_handler = writeSignalToPipe;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        Installed installed { signalNumber, {} };
        if (::sigaction(signalNumber, &action, &installed.previous) != 0) {
            log(LogLevel::Error, lcSystem(),
                fmt::format("Cannot watch signal {}: {}", signalNumber, std::strerror(errno)));
            continue;
        }
        m_installed.push_back(installed);
    }
}

SignalPipe::~SignalPipe()
{
    for (const Installed& installed : m_installed) {
        ::sigaction(installed.signalNumber, &installed.previous, nullptr);
    }
    if (m_fds[0] >= 0) {
        writeFd.store(-1);
        watchingPipe = nullptr;
        delete m_notifier;
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
}

void SignalPipe::deliverPending()
{
    if (watchingPipe) {
        watchingPipe->readPending();
    }
}

void SignalPipe::readPending()
{
    unsigned char buffer[64];
    for (;;) {
        const ssize_t count = ::read(m_fds[1], buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        for (ssize_t i = 0; i < count; ++i) {
            Q_EMIT signalReceived(buffer[i]);
        }
    }
}

} // namespace platform
