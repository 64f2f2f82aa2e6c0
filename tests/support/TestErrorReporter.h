#pragma once

#include "platform/ErrorReporter.h"

#include <QTemporaryDir>

#include <filesystem>

// An error reporter of the test's own, writing into a temporary folder, and the shared one while it
// lives: nothing a test reports reaches the user's state folder.
class TestErrorReporter {
public:
    TestErrorReporter();
    ~TestErrorReporter();
    TestErrorReporter(const TestErrorReporter&) = delete;
    TestErrorReporter& operator=(const TestErrorReporter&) = delete;

    // False when no temporary folder could be made.
    bool isValid() const { return m_folder.isValid(); }
    // The file the reports are written to.
    std::filesystem::path reportsPath() const { return m_reporter.reportsPath(); }

private:
    QTemporaryDir m_folder;
    platform::ErrorReporter m_reporter;
};
