#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace zk {

// How the debug actions reach the desktop; tests replace the parts they watch. Empty members are
// the real ones.
struct DebugActionsEnvironment {
    // Ends the application from the main queue. Empty: ZKApp::quitOnMainQueue.
    std::function<void()> quitOnMainQueue;

    static DebugActionsEnvironment& shared();
};

// The debug information text on the clipboard, marked as ours. Main-thread only.
void copyDebugInfoToPasteboard();
// An e-mail to the support address with the debug information attached as "debug-info.txt".
void emailDebugInfo();
// The feedback form with the debug fields as its metadata, then the application quits once a
// program took it.
void openFeedbackPageAndQuit();
// The folder of the error reports: the crash reports of this application.
std::filesystem::path diagnosticReportsDirectory();
// Opens that folder in the file manager.
void revealDiagnosticReports();
// The feedback form's address with the application's name and the debug fields.
std::string feedbackPageURLWithDebugInfo();

} // namespace zk
