#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <csignal>
#include <cstdint>
#include <optional>

#include <pthread.h>

// The test program's signals as the application has them, for as long as this lives: SIGPIPE and
// SIGXFSZ ignored, SIGHUP and SIGUSR1 caught, SIGUSR2 blocked in the calling thread (the one that
// starts programs).
class ApplicationSignals {
public:
    ApplicationSignals()
    {
        struct sigaction ignore { };
        ignore.sa_handler = SIG_IGN;
        struct sigaction catchIt { };
        catchIt.sa_handler = [](int) {};
        ::sigaction(SIGPIPE, &ignore, &m_pipe);
        ::sigaction(SIGXFSZ, &ignore, &m_fileSize);
        ::sigaction(SIGHUP, &catchIt, &m_hangUp);
        ::sigaction(SIGUSR1, &catchIt, &m_user1);
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGUSR2);
        ::pthread_sigmask(SIG_BLOCK, &blocked, &m_mask);
    }
    ~ApplicationSignals()
    {
        ::pthread_sigmask(SIG_SETMASK, &m_mask, nullptr);
        ::sigaction(SIGUSR1, &m_user1, nullptr);
        ::sigaction(SIGHUP, &m_hangUp, nullptr);
        ::sigaction(SIGXFSZ, &m_fileSize, nullptr);
        ::sigaction(SIGPIPE, &m_pipe, nullptr);
    }
    ApplicationSignals(const ApplicationSignals&) = delete;
    ApplicationSignals& operator=(const ApplicationSignals&) = delete;

private:
    struct sigaction m_pipe { };
    struct sigaction m_fileSize { };
    struct sigaction m_hangUp { };
    struct sigaction m_user1 { };
    sigset_t m_mask {};
};

// A process's signal masks as /proc/<pid>/status states them.
struct SignalMasks {
    std::uint64_t ignored = 0;
    std::uint64_t blocked = 0;
    std::uint64_t caught = 0;

    bool operator==(const SignalMasks&) const = default;

    // From the text of a status file (a started program's copy of its own); nothing when a mask
    // is missing.
    static std::optional<SignalMasks> parse(const QByteArray& status)
    {
        std::optional<std::uint64_t> ignored, blocked, caught;
        for (const QByteArray& line : status.split('\n')) {
            const auto value = [&line](const char* name) -> std::optional<std::uint64_t> {
                if (!line.startsWith(name)) {
                    return std::nullopt;
                }
                bool valid = false;
                const auto mask = line.mid(qsizetype(qstrlen(name))).trimmed().toULongLong(&valid, 16);
                return valid ? std::optional(mask) : std::nullopt;
            };
            ignored = ignored ? ignored : value("SigIgn:");
            blocked = blocked ? blocked : value("SigBlk:");
            caught = caught ? caught : value("SigCgt:");
        }
        if (!ignored || !blocked || !caught) {
            return std::nullopt;
        }
        return SignalMasks { *ignored, *blocked, *caught };
    }
    static std::optional<SignalMasks> readFrom(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? parse(file.readAll()) : std::nullopt;
    }
};

// A shell command that becomes cat, which changes no signal, and copies its own status into `path`:
// a shell that stayed would show its own signals (dash unblocks every signal at its start).
// Read it with SignalMasks::readFrom() until that has all three masks.
inline QString copyOwnSignalStatusCommand(const QString& path)
{
    return QStringLiteral("exec cat /proc/self/status > '%1'").arg(path);
}
