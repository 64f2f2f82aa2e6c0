#pragma once

#include "kit/diagnostics/DebugActions.h"
#include "kit/diagnostics/Email.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/Relaunch.h"
#include "platform/ErrorReporter.h"
#include "platform/Logger.h"
#include "platform/fake/FakeDesktopOpener.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"
#include "platform/time/Locale.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

// A private standard suite, temporary XDG folders, and every way out to the desktop (URLs, the
// clipboard, alerts, processes, quitting, relaunching) recorded instead of done.
class DiagnosticsFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        for (const char* name : { "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME" }) {
            const QString path = folder.path() + "/" + name;
            QDir().mkpath(path);
            qputenv(name, path.toUtf8());
        }
        // A runtime folder as the desktop makes it: this user's alone.
        const QString runtime = folder.path() + "/XDG_RUNTIME_DIR";
        QDir().mkpath(runtime);
        QFile::setPermissions(
            runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
        platform::Locale::setCurrentForTesting(platform::Locale("en_US"));
        suite = std::make_shared<platform::UserDefaults>(
            platform::DefaultsDatabase::open(":memory:"), platform::UserDefaults::standardSuiteName);
        platform::UserDefaults::setStandard(suite);
        reporter = std::make_unique<platform::ErrorReporter>(
            (folder.path() + "/XDG_STATE_HOME/kiruvo").toStdString());
        platform::ErrorReporter::setShared(reporter.get());

        zk::EmailEnvironment email;
        email.xdgEmailPath = [this] { return xdgEmailPath; };
        email.copyToClipboard = [this](const std::string& text) { clipboard.push_back(text); };
        email.tellUser = [this](const std::string& title, const std::string&) { told.push_back(title); };
        email.defaultMailClient
            = [this](const std::function<void(std::optional<std::string>)>& answer) { answer(mailClient); };
        zk::EmailEnvironment::shared() = email;

        desktop.outcome = [this](const platform::fake::FakeDesktopOpener::Request& request) {
            using Outcome = platform::DesktopOpener::Outcome;
            if (!request.program.empty()) {
                QStringList arguments;
                for (const auto& argument : request.arguments) {
                    arguments << QString::fromStdString(argument);
                }
                started.push_back({ QString::fromStdString(request.program), arguments });
                return startSucceeds ? Outcome::opened : Outcome::failed;
            }
            openedUrls.push_back(request.url);
            const bool opens = request.url.scheme() == QLatin1String("mailto") ? openSucceeds : actionsOpen;
            return opens ? Outcome::opened : Outcome::noProgram;
        };
        platform::DesktopOpener::setShared(&desktop);

        zk::DebugActionsEnvironment actions;
        actions.quitOnMainQueue = [this] { ++quits; };
        zk::DebugActionsEnvironment::shared() = actions;

        zk::RelaunchEnvironment relaunch;
        relaunch.startDetached = [this](const QString&, const QStringList&, QString&) {
            ++relaunches;
            return true;
        };
        relaunch.executablePath = QStringLiteral("/bin/true");
        relaunch.quit = [this] { ++terminations; };
        relaunch.exitImmediately = [this] { ++exits; };
        zk::RelaunchEnvironment::shared() = relaunch;

        zk::AlertPresenter::shared().setRunModal([this](QMessageBox& alert) {
            alerts.push_back(alert.text().toStdString());
            alertMessages.push_back(alert.informativeText().toStdString());
            if (answers.empty()) {
                return -1;
            }
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }

    void TearDown() override
    {
        zk::AlertPresenter::shared().setRunModal({});
        zk::EmailEnvironment::shared() = {};
        platform::DesktopOpener::setShared(nullptr);
        zk::DebugActionsEnvironment::shared() = {};
        zk::RelaunchEnvironment::shared() = {};
        platform::ErrorReporter::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
        platform::Locale::setCurrentForTesting(std::nullopt);
        platform::DebugLog::clear();
        platform::DebugLog::setEnabled(false);
    }

    // Runs the event loop until `done` holds or 200 turns have passed.
    template <class Predicate> static bool settle(Predicate done)
    {
        for (int turn = 0; turn < 200 && !done(); ++turn) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        return done();
    }

    // What the suite stores under the key (registered defaults aside).
    std::optional<platform::PropertyList> stored(const std::string& key) const
    {
        const auto value = suite->storedValue(key);
        return value ? std::optional(*value) : std::nullopt;
    }

    struct Started {
        QString program;
        QStringList arguments;
    };

    QTemporaryDir folder;
    std::shared_ptr<platform::UserDefaults> suite;
    std::unique_ptr<platform::ErrorReporter> reporter;

    QString xdgEmailPath;
    // The default mail program's desktop entry; nothing for none.
    std::optional<std::string> mailClient = std::string("thunderbird");
    // The desktop: what it opens and runs is recorded in `openedUrls` and `started`.
    platform::fake::FakeDesktopOpener desktop;
    // Whether xdg-email opens the e-mail.
    bool startSucceeds = true;
    // Whether a mail program takes a mailto: link.
    bool openSucceeds = true;
    // Whether the debug actions' links find a program.
    bool actionsOpen = true;
    std::vector<Started> started;
    std::vector<QUrl> openedUrls;
    std::vector<std::string> clipboard;
    std::vector<std::string> told;
    int quits = 0;
    int relaunches = 0;
    int terminations = 0;
    int exits = 0;
    std::vector<std::string> alerts;
    std::vector<std::string> alertMessages;
    std::deque<int> answers;
};
