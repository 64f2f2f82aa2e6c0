#include "kit/foundation/Relaunch.h"

#include "kit/foundation/ErrorPresentation.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"
#include "libraries/defaults/Defaults.h"
#include "platform/Logger.h"

#include <QProcess>
#include <cstdlib>

namespace zk {

RelaunchEnvironment& RelaunchEnvironment::shared()
{
    static RelaunchEnvironment environment;
    return environment;
}

namespace {

bool startDetached(const QString& program, const QStringList& arguments, QString& errorText)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (process.startDetached()) {
        return true;
    }
    errorText = process.errorString();
    return false;
}

} // namespace

QCoro::Task<bool> relaunchApp(bool exitImmediately, bool showSettingsAfterRelaunch)
{
    // A copy: the environment may change while the error is shown.
    const RelaunchEnvironment environment = RelaunchEnvironment::shared();

    if (showSettingsAfterRelaunch) {
        Defaults::set(ZKApp::isShowingSettingsAfterRelaunch(), true);
    }

    const QString program = environment.executablePath.isEmpty() ? QString::fromStdString(ZKApp::url())
                                                                 : environment.executablePath;
    const QStringList arguments { QString::fromLatin1(waitForInstanceLockArgument) };
    QString errorText;
    const bool started = environment.startDetached ? environment.startDetached(program, arguments, errorText)
                                                   : startDetached(program, arguments, errorText);
    const auto exitNow = [&environment] {
        if (environment.exitImmediately) {
            environment.exitImmediately();
        } else {
            std::exit(0);
        }
    };
    if (started) {
        if (exitImmediately) {
            exitNow();
        } else if (environment.quit) {
            environment.quit();
        } else {
            ZKApp::quit();
        }
        co_return true;
    }

    if (showSettingsAfterRelaunch) {
        // No new instance will read it; the next launch by hand should not open the settings.
        ZKApp::isShowingSettingsAfterRelaunch().reset();
    }
    auto error = std::make_shared<GeneralError>("Could not restart " + ZKApp::name() + ".",
        "Start " + ZKApp::name() + " again yourself. (" + errorText.toStdString() + ")");
    reportError(*error, { { "program", program.toStdString() } });
    if (environment.presentError) {
        co_await environment.presentError(error);
    } else {
        co_await presentAsync(error);
    }
    // The caller asked for this process to end at once (its state may no longer be usable): it
    // ends, now that the user knows to start Kiruvo again. Otherwise Kiruvo keeps running.
    if (exitImmediately) {
        exitNow();
    }
    co_return false;
}

} // namespace zk
