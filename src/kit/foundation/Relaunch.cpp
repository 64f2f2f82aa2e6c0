#include "kit/foundation/Relaunch.h"

#include "kit/foundation/ErrorPresentation.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/CallSiteCache.h"
#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"
#include "libraries/defaults/Defaults.h"
#include "platform/DetachedProcess.h"
#include "platform/Logger.h"
#include "platform/RegularFile.h"
#include "platform/linux/DesktopEntry.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
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
    return platform::DetachedProcess::launch(program, arguments, {}, &errorText).has_value();
}

} // namespace

std::optional<QString> installedApplicationEntry(const std::string& bundleIdentifier)
{
    return memoize({ AnyHashable(bundleIdentifier) }, 1.0, [&]() -> std::optional<QString> {
        const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation,
            QString::fromStdString(bundleIdentifier) + QStringLiteral(".desktop"));
        if (path.isEmpty()) {
            return std::nullopt;
        }
        return path;
    });
}

std::optional<QStringList> desktopEntryCommand(const QString& entryPath)
{
    // Only a regular file of an entry's size: a FIFO in its place would hold the relaunch for good.
    constexpr std::size_t largestDesktopEntry = 1024 * 1024;
    const auto read
        = platform::RegularFile::read(QFile::encodeName(entryPath).toStdString(), largestDesktopEntry);
    if (!read.contents) {
        if (!read.missing) {
            platform::log(platform::LogLevel::Warning, platform::lcStartup(),
                "The desktop entry " + entryPath.toStdString() + " was not read: " + read.problem);
        }
        return std::nullopt;
    }
    const auto entry = platform::xdg::DesktopEntry::parse(
        QString::fromUtf8(read.contents->data(), static_cast<qsizetype>(read.contents->size())));
    const auto exec = entry ? entry->value(QStringLiteral("Exec")) : std::nullopt;
    auto arguments = exec ? platform::xdg::DesktopEntry::execArguments(*exec) : std::nullopt;
    if (!arguments) {
        return std::nullopt;
    }
    // Field codes stand for files or URLs to open, which a relaunch has none of.
    static const QRegularExpression fieldCode(QStringLiteral("^%[fFuUdDnNickvm]$"));
    arguments->removeIf([](const QString& argument) { return fieldCode.match(argument).hasMatch(); });
    if (arguments->isEmpty()) {
        return std::nullopt;
    }
    return arguments;
}

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
    const auto start
        = [&environment](const QString& program, const QStringList& arguments, QString& errorText) {
              return environment.startDetached ? environment.startDetached(program, arguments, errorText)
                                               : startDetached(program, arguments, errorText);
          };
    QString errorText;
    bool started = start(program, arguments, errorText);
    QString triedProgram = program;
    if (!started) {
        // The installed application, as the desktop would start it.
        const auto entry = environment.applicationEntry
            ? environment.applicationEntry(ZKApp::bundleIdentifier())
            : installedApplicationEntry(ZKApp::bundleIdentifier());
        if (const auto command = entry ? desktopEntryCommand(*entry) : std::nullopt) {
            platform::log(platform::LogLevel::Warning, platform::lcStartup(),
                "Could not start " + program.toStdString() + " (" + errorText.toStdString()
                    + "); trying the installed application " + entry->toStdString());
            triedProgram = command->first();
            QString secondError;
            started = start(triedProgram, command->mid(1) + arguments, secondError);
            errorText = secondError;
        }
    }
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
    reportError(*error, { { "program", triedProgram.toStdString() } });
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
