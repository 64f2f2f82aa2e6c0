#include "kit/diagnostics/DebugActions.h"

#include "kit/diagnostics/DebugInfo.h"
#include "kit/diagnostics/Email.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/FeedbackLink.h"
#include "kit/interface/Pasteboard.h"
#include "kit/interface/UrlOpener.h"
#include "platform/ErrorReporter.h"
#include "platform/Logger.h"
#include "platform/PrivateFiles.h"

namespace zk {

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
    UrlOpener::openOrTell(
        QUrl(QString::fromStdString(feedbackPageURLWithDebugInfo())), "the feedback page", [](bool opened) {
            if (!opened) {
                return;
            }
            const auto& environment = DebugActionsEnvironment::shared();
            if (environment.quitOnMainQueue) {
                environment.quitOnMainQueue();
            } else {
                ZKApp::quitOnMainQueue();
            }
        });
}

std::filesystem::path diagnosticReportsDirectory()
{
    return platform::ErrorReporter::shared().directory();
}

void revealDiagnosticReports()
{
    // Made when missing (nothing has been reported yet), so that the file manager has a folder to
    // show rather than the user being told that none could open it.
    const std::filesystem::path folder = diagnosticReportsDirectory();
    std::error_code error;
    if (!platform::PrivateFiles::createFolders(folder, error)) {
        platform::log(platform::LogLevel::Warning, platform::lcDiagnostics(),
            "Could not create " + folder.string() + ": " + error.message());
    }
    UrlOpener::openOrTell(QUrl::fromLocalFile(QString::fromStdString(diagnosticReportsDirectory().string())),
        "the reports folder");
}

} // namespace zk
