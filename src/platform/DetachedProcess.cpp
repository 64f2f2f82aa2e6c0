#include "platform/DetachedProcess.h"

#include "platform/Logger.h"

#include <QProcess>
#include <QStringList>

namespace platform {

namespace {
DetachedProcess::Starter& installedStarter()
{
    static DetachedProcess::Starter starter;
    return starter;
}
} // namespace

bool DetachedProcess::start(const std::string& program, const std::vector<std::string>& arguments)
{
    if (installedStarter()) {
        return installedStarter()(program, arguments);
    }
    QStringList qArguments;
    for (const auto& argument : arguments) {
        qArguments << QString::fromStdString(argument);
    }
    if (!QProcess::startDetached(QString::fromStdString(program), qArguments)) {
        log(LogLevel::Warning, lcDesktop(), "Could not start " + program);
        return false;
    }
    return true;
}

void DetachedProcess::setStarterForTesting(Starter starter)
{
    installedStarter() = std::move(starter);
}

} // namespace platform
