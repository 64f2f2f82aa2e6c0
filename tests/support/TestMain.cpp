#include "TestIsolation.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace {

constexpr const char* inheritedFoldersVariable = "KIRUVO_TEST_USER_FOLDERS";

// Every test program gets folders of its own for everything the application keeps (data,
// configuration, state, cache, runtime files) and an in-memory store, so that no test ever reads or
// writes the user's real files, whether it runs under ctest or by hand. The folders are removed
// when the program ends.
void useTemporaryUserFolders(const QTemporaryDir& root)
{
    const std::string base = root.path().toStdString();
    for (const char* name : { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME" }) {
        const std::string folder = base + "/" + name;
        QDir().mkpath(QString::fromStdString(folder));
        ::setenv(name, folder.c_str(), 1);
    }
    // The runtime folder, as a desktop session has one: private to the user (the code under test
    // puts its private files there only when no one else may enter it), and never the user's own,
    // where the running application keeps its lock and its files for other programs.
    const std::string runtime = base + "/XDG_RUNTIME_DIR";
    QDir().mkpath(QString::fromStdString(runtime));
    ::chmod(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const std::string home = base + "/home";
    QDir().mkpath(QString::fromStdString(home));
    ::setenv("HOME", home.c_str(), 1);
    if (qEnvironmentVariableIsEmpty("KIRUVO_DEFAULTS_PATH")) {
        ::setenv("KIRUVO_DEFAULTS_PATH", ":memory:", 1);
    }
    // Texts, dates and numbers in one known locale, whatever the machine's.
    if (qEnvironmentVariableIsEmpty("LC_ALL")) {
        ::setenv("LC_ALL", "C.UTF-8", 1);
    }
}

} // namespace

// Tests run inside a QApplication so that timers, queued calls and widgets behave as in the
// application; the offscreen platform is set by CTest and defaulted here for direct runs.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // A test program started by a test (a death test's child, a helper process) keeps its
    // parent's folders: it may be killed before it could remove folders of its own.
    std::optional<QTemporaryDir> userFolders;
    if (qEnvironmentVariableIsEmpty(inheritedFoldersVariable)) {
        userFolders.emplace(QDir::tempPath() + QStringLiteral("/kiruvo-test-XXXXXX"));
        if (!userFolders->isValid()) {
            return EXIT_FAILURE;
        }
        useTemporaryUserFolders(*userFolders);
        qputenv(inheritedFoldersVariable, userFolders->path().toLocal8Bit());
        // Temporary files the code under test leaves for another program (an e-mail attachment)
        // go into the same folder, removed with it.
        const QString temporary = userFolders->path() + QStringLiteral("/tmp");
        QDir().mkpath(temporary);
        qputenv("TMPDIR", temporary.toLocal8Bit());
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // Appended last, it sees the end of a test before the printer reports it.
    auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
    auto* isolation = new TestIsolation;
    listeners.Append(isolation);
    const int result = RUN_ALL_TESTS();
    delete listeners.Release(isolation);
    return result;
}
