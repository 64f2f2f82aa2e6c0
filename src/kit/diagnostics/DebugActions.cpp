#include "kit/diagnostics/DebugActions.h"

#include "kit/diagnostics/DebugInfo.h"
#include "kit/diagnostics/Email.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/FeedbackLink.h"
#include "kit/interface/Pasteboard.h"
#include "kit/interface/UrlOpener.h"
#include "platform/ErrorReporter.h"
#include "platform/Logger.h"

namespace zk {

namespace {

bool openUrl(const QUrl& url, const std::string& what)
{
    const auto& environment = DebugActionsEnvironment::shared();
    if (!environment.openUrl) {
        return UrlOpener::openOrTell(url, what);
    }
    const bool opened = environment.openUrl(url);
    if (!opened) {
        platform::log(platform::LogLevel::Warning, platform::lcDiagnostics(),
            "Nothing opened " + url.toString().toStdString());
    }
    return opened;
}

} // namespace

DebugActionsEnvironment& DebugActionsEnvironment::shared()
{
    static DebugActionsEnvironment environment;
    return environment;
}

void copyDebugInfoToPasteboard()
{
    copyTextToPasteboard(debugInfoText());
}

void emailDebugInfo()
{
    sendEmail({ supportEmailAddress().rawValue() }, ZKApp::name() + " — Debug info", std::nullopt,
        "debug-info.txt", debugInfoText());
}

std::string feedbackPageURLWithDebugInfo()
{
    return feedbackPageURL(ZKApp::name(), debugInfoFields());
}

void openFeedbackPageAndQuit()
{
    // With nothing to show the page, Kiruvo stays, so that the user can read why and copy the link.
    if (!openUrl(QUrl(QString::fromStdString(feedbackPageURLWithDebugInfo())), "the feedback page")) {
        return;
    }
    const auto& environment = DebugActionsEnvironment::shared();
    if (environment.quitOnMainQueue) {
        environment.quitOnMainQueue();
    } else {
        ZKApp::quitOnMainQueue();
    }
}

std::filesystem::path diagnosticReportsDirectory()
{
    return platform::ErrorReporter::shared().directory();
}

void revealDiagnosticReports()
{
    openUrl(QUrl::fromLocalFile(QString::fromStdString(diagnosticReportsDirectory().string())),
        "the reports folder");
}

} // namespace zk
