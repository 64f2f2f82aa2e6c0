#include "platform/linux/XdgOpener.h"

#include "platform/ChildProcessSignals.h"
#include "platform/Logger.h"

#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <memory>

#include <sys/wait.h>

namespace platform::xdg {

namespace {

// The helpers still running, held here rather than by an owner that could end them: deleting a
// QProcess kills its program.
std::vector<QProcess*>& running()
{
    static std::vector<QProcess*> processes;
    return processes;
}

std::string exitReason(const std::string& program, int code)
{
    switch (code) {
    case 1:
        return program + " did not understand its arguments";
    case 2:
        return program + " found no such file";
    case 3:
        return "no program on this computer opens it (" + program + " ended with status 3)";
    case 4:
        return "the program chosen for it failed (" + program + " ended with status 4)";
    default:
        return program + " ended with status " + std::to_string(code);
    }
}

// Whether the helper has ended, though QProcess may not have read its end yet.
bool hasEnded(qint64 pid)
{
    siginfo_t info {};
    // Without reaping it, which is QProcess's to do; a helper reaped already has ended too.
    if (pid <= 0 || ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return true;
    }
    return info.si_pid != 0;
}

} // namespace

XdgOpener::XdgOpener(std::chrono::milliseconds takenAfter)
    : m_takenAfter(takenAfter)
{
}

std::size_t XdgOpener::runningCount()
{
    return running().size();
}

void XdgOpener::open(const QUrl& url, Completion completion)
{
    // A file or folder by its path, which every opener takes; a link as it goes over the wire.
    const QString target = url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded);
    run("xdg-open", { target.toStdString() }, std::move(completion));
}

void XdgOpener::run(
    const std::string& program, const std::vector<std::string>& arguments, Completion completion)
{
    auto* process = new QProcess;
    QStringList list;
    for (const auto& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    process->setProgram(QString::fromStdString(program));
    process->setArguments(list);
    // What the helper starts inherits these: a pipe of ours would be closed under the program it
    // started once the helper is gone, and its next write would end it.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    ChildProcessSignals::applyTo(*process);

    // Told once, by whichever comes first: the end, a failure to start, or the time that shows
    // the link was taken.
    auto told = std::make_shared<Completion>(std::move(completion));
    const std::string what = program + " " + (arguments.empty() ? std::string() : arguments.front());
    auto tell = [told, what](Outcome outcome, const std::string& reason) {
        if (!*told) {
            return;
        }
        if (isFailure(outcome)) {
            log(LogLevel::Warning, lcDesktop(), "Nothing opened " + what + ": " + reason);
        }
        const Completion completion = std::move(*told);
        *told = nullptr;
        completion(outcome);
    };
    const auto release = [process] {
        auto& list = running();
        list.erase(std::remove(list.begin(), list.end(), process), list.end());
        process->deleteLater();
    };

    // Counted from the helper's start, which a loaded machine may be slow to.
    auto* taken = new QTimer(process);
    taken->setSingleShot(true);
    QObject::connect(
        process, &QProcess::started, taken, [taken, after = m_takenAfter] { taken->start(after); });
    QObject::connect(taken, &QTimer::timeout, process, [process, tell] {
        // The event loop may come to the time later than the helper ended, when the application was
        // busy: then its end, read next, tells. Only a helper still running has taken the link.
        if (!hasEnded(process->processId())) {
            tell(Outcome::opened, {});
        }
    });
    QObject::connect(process, &QProcess::finished, process,
        [tell, release, program](int code, QProcess::ExitStatus status) {
            if (status != QProcess::NormalExit) {
                tell(Outcome::failed, program + " ended abnormally");
            } else if (code != 0) {
                tell(code == 3 ? Outcome::noProgram : Outcome::failed, exitReason(program, code));
            } else {
                tell(Outcome::opened, {});
            }
            release();
        });
    QObject::connect(process, &QProcess::errorOccurred, process,
        [process, tell, release, program](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart) {
                return;
            }
            // Told from the event loop, as every outcome is, even when Qt tells this inside start().
            QMetaObject::invokeMethod(
                process,
                [process, tell, release, program] {
                    tell(Outcome::noProgram,
                        "could not start " + program + ": " + process->errorString().toStdString());
                    release();
                },
                Qt::QueuedConnection);
        });
    running().push_back(process);
    process->start();
}

} // namespace platform::xdg
