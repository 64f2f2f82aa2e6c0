#include "platform/Logger.h"
#include "platform/linux/PortalOpener.h"
#include "platform/linux/XdgOpener.h"
#include "support/ApplicationSignals.h"
#include "support/PortalStandInTest.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

using platform::DesktopOpener;
using Outcome = DesktopOpener::Outcome;

namespace {

// An xdg-open of the test's own on PATH: it writes its arguments to a file, waits until the test
// lets it go, and ends with the status the test chose, as xdg-utils' would after trying to open.
class XdgOpenerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_path = qgetenv("PATH");
        qputenv("PATH", m_folder.path().toUtf8() + ":" + m_path);
    }
    void TearDown() override
    {
        release();
        EXPECT_TRUE(QTest::qWaitFor([] { return platform::xdg::XdgOpener::runningCount() == 0; }, 5000));
        qputenv("PATH", m_path);
    }

    void helper(const QString& name, int status)
    {
        QFile script(m_folder.filePath(name));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\n"
                                    "while [ ! -e '%2' ]; do sleep 0.01; done\nexit %3\n")
                         .arg(argumentsFile(), goFile())
                         .arg(status)
                         .toUtf8());
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    void release() { QFile(goFile()).open(QIODevice::WriteOnly); }
    QStringList arguments() const
    {
        QFile file(argumentsFile());
        return file.open(QIODevice::ReadOnly)
            ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
            : QStringList();
    }
    QString argumentsFile() const { return m_folder.filePath(QStringLiteral("arguments")); }
    // Where the helpers write their process ids.
    QString pidsFile() const { return m_folder.filePath(QStringLiteral("pids")); }
    // Whether `count` helpers wrote their ids and have ended, whether reaped or not.
    bool helpersEnded(int count) const
    {
        QFile file(pidsFile());
        if (!file.open(QIODevice::ReadOnly)) {
            return false;
        }
        const auto pids = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        return pids.size() == count && std::all_of(pids.begin(), pids.end(), [](const QString& pid) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly)) {
                return true;
            }
            const QByteArray line = stat.readAll();
            const qsizetype name = line.lastIndexOf(')');
            return name < 0 || line.mid(name + 2, 1) == "Z";
        });
    }
    QString goFile() const { return m_folder.filePath(QStringLiteral("go")); }

    QTemporaryDir m_folder;
    QByteArray m_path;
};

// Opens with `opener` and waits for the outcome.
std::optional<Outcome> outcomeOf(DesktopOpener& opener, const QUrl& url)
{
    std::optional<Outcome> outcome;
    opener.open(url, [&](Outcome told) { outcome = told; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
    return outcome;
}

TEST_F(XdgOpenerTest, TheHelpersExitStatusIsTheOutcomeAndNothingWaitsForIt)
{
    platform::xdg::XdgOpener opener(std::chrono::minutes(1));
    helper(QStringLiteral("xdg-open"), 3);
    std::vector<Outcome> outcomes;
    opener.open(QUrl(QStringLiteral("https://kiruvo.example/feedback?product=Kiruvo&x=a b")),
        [&](Outcome outcome) { outcomes.push_back(outcome); });
    // Back at once, with nothing said while xdg-open looks for a program.
    EXPECT_TRUE(outcomes.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !arguments().isEmpty(); }, 10000));
    QTest::qWait(50);
    EXPECT_TRUE(outcomes.empty());
    release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !outcomes.empty(); }, 10000));
    // Status 3: no program opens it, which QDesktopServices reports as opened.
    EXPECT_EQ(outcomes, std::vector<Outcome> { Outcome::noProgram });
    EXPECT_EQ(arguments(),
        QStringList { QStringLiteral("https://kiruvo.example/feedback?product=Kiruvo&x=a%20b") });

    helper(QStringLiteral("xdg-open"), 0);
    EXPECT_EQ(outcomeOf(opener, QUrl::fromLocalFile(QStringLiteral("/tmp/a folder"))), Outcome::opened);
    // A folder by its path, which every file manager takes.
    EXPECT_EQ(arguments(), QStringList { QStringLiteral("/tmp/a folder") });
    // Status 4: the program it chose failed, which is no claim that there is none.
    helper(QStringLiteral("xdg-open"), 4);
    EXPECT_EQ(outcomeOf(opener, QUrl(QStringLiteral("mailto:a@example.com"))), Outcome::failed);

    // xdg-email and its arguments, the same way.
    helper(QStringLiteral("xdg-email"), 0);
    std::optional<Outcome> ran;
    opener.run(
        "xdg-email", { "--subject", "Debug info", "a@example.com" }, [&](Outcome told) { ran = told; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran.has_value(); }, 10000));
    EXPECT_EQ(ran, Outcome::opened);
    EXPECT_EQ(arguments(),
        (QStringList {
            QStringLiteral("--subject"), QStringLiteral("Debug info"), QStringLiteral("a@example.com") }));
}

TEST_F(XdgOpenerTest, AMissingHelperFailsAfterTheCallReturns)
{
    platform::xdg::XdgOpener opener;
    qputenv("PATH", m_folder.path().toUtf8());
    std::optional<Outcome> outcome;
    opener.open(QUrl(QStringLiteral("https://kiruvo.example")), [&](Outcome told) { outcome = told; });
    EXPECT_FALSE(outcome.has_value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
    EXPECT_EQ(outcome, Outcome::noProgram);
}

TEST_F(XdgOpenerTest, AHelperStillRunningHasHandedTheLinkOnAndLivesOn)
{
    // Some desktops' xdg-open runs the browser it started until the browser ends.
    platform::xdg::XdgOpener opener(std::chrono::milliseconds(100));
    helper(QStringLiteral("xdg-open"), 0);
    int told = 0;
    std::optional<Outcome> outcome;
    opener.open(QUrl(QStringLiteral("https://kiruvo.example")), [&](Outcome answer) {
        ++told;
        outcome = answer;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
    EXPECT_EQ(outcome, Outcome::opened);
    EXPECT_EQ(platform::xdg::XdgOpener::runningCount(), 1u);
    release();
    ASSERT_TRUE(QTest::qWaitFor([] { return platform::xdg::XdgOpener::runningCount() == 0; }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(told, 1);
}

// An application busy for longer than the wait that shows a link was taken (a loaded machine, a
// window being drawn) comes to that time and to the helper's end on the same turn of its event loop:
// a helper that failed meanwhile is still told, each time.
TEST_F(XdgOpenerTest, AHelperThatFailedWhileTheApplicationWasBusyIsToldEveryTime)
{
    QFile script(m_folder.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho $$ >> '%1'\nexit 4\n").arg(pidsFile()).toUtf8());
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    constexpr auto takenAfter = std::chrono::milliseconds(50);
    platform::xdg::XdgOpener opener(takenAfter);
    platform::LogCapture log;
    std::vector<Outcome> outcomes;
    constexpr int rounds = 15;
    constexpr int atOnce = 3;
    for (int round = 0; round < rounds; ++round) {
        QFile::remove(pidsFile());
        for (int link = 0; link < atOnce; ++link) {
            opener.open(QUrl(QStringLiteral("https://kiruvo.example/%1").arg(link)),
                [&](Outcome told) { outcomes.push_back(told); });
        }
        // Busy, serving no event, until the helpers have started and ended and the wait has passed.
        QElapsedTimer busy;
        busy.start();
        while (!(helpersEnded(atOnce) && busy.elapsed() > 2 * takenAfter.count())) {
            ASSERT_LT(busy.elapsed(), 10000) << "the helpers did not end";
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return outcomes.size() == std::size_t((round + 1) * atOnce); }, 10000));
    }
    EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), Outcome::failed), rounds * atOnce);
    EXPECT_EQ(log.countContaining("the program chosen for it failed"), rounds * atOnce);
}

TEST_F(XdgOpenerTest, TheHelperStartsWithTheSignalsOfANewProcess)
{
    const QString status = m_folder.filePath(QStringLiteral("status"));
    QFile script(m_folder.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n" + copyOwnSignalStatusCommand(status).toUtf8() + "\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    platform::xdg::XdgOpener opener;
    std::optional<Outcome> outcome;
    {
        const ApplicationSignals applicationSignals;
        opener.open(QUrl(QStringLiteral("https://kiruvo.example")), [&](Outcome told) { outcome = told; });
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
    EXPECT_EQ(outcome, Outcome::opened);
    // What the browser it starts inherits.
    EXPECT_EQ(SignalMasks::readFrom(status), SignalMasks {}) << "nothing ignored, blocked or caught";
}

// The desktop portal's OpenURI, answering as the test sets it up: its Response goes out after the
// reply to the call, from the request's own object path.
class OpenUriPortalStandIn : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.OpenURI")
public:
    explicit OpenUriPortalStandIn(QDBusConnection& connection)
        : m_connection(connection)
    {
    }

    QStringList asked;
    // The Response's code: 0 opened, 1 cancelled by the user, 2 ended otherwise.
    uint responseCode = 0;
    // Runs after the reply in place of the Response, when set.
    std::function<void()> insteadOfResponse;

public Q_SLOTS:
    QDBusObjectPath OpenURI(const QString&, const QString& uri, const QVariantMap& options)
    {
        asked << QStringLiteral("uri ") + uri;
        return answer(options);
    }
    QDBusObjectPath OpenFile(const QString&, const QDBusUnixFileDescriptor& file, const QVariantMap& options)
    {
        // What the descriptor names, as the portal reads it.
        asked << QStringLiteral("file ")
                + QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(file.fileDescriptor())).symLinkTarget();
        return answer(options);
    }

private:
    QDBusObjectPath answer(const QVariantMap& options)
    {
        QString sender = message().service().mid(1);
        sender.replace(u'.', u'_');
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender + u'/'
            + options.value(QStringLiteral("handle_token")).toString();
        const uint code = responseCode;
        if (insteadOfResponse) {
            QTimer::singleShot(0, this, insteadOfResponse);
            return QDBusObjectPath(path);
        }
        QTimer::singleShot(0, this, [this, path, code] {
            QDBusMessage signal = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            signal << code << QVariantMap();
            m_connection.send(signal);
        });
        return QDBusObjectPath(path);
    }

    QDBusConnection& m_connection;
};

class PortalOpenerTest : public PortalStandInTest<OpenUriPortalStandIn> {
protected:
    platform::dbus::PortalOpener::Options options() const
    {
        platform::dbus::PortalOpener::Options result;
        result.service = m_serviceName;
        return result;
    }
};

TEST_F(PortalOpenerTest, ThePortalsResponseIsTheOutcome)
{
    platform::dbus::PortalOpener opener(options());
    EXPECT_EQ(outcomeOf(opener, QUrl(QStringLiteral("https://kiruvo.example/faq"))), Outcome::opened);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // A folder goes by its descriptor, which the sandbox proves it can reach.
    EXPECT_EQ(outcomeOf(opener, QUrl::fromLocalFile(folder.path())), Outcome::opened);
    EXPECT_EQ(m_standIn->asked,
        (QStringList { QStringLiteral("uri https://kiruvo.example/faq"),
            QStringLiteral("file ") + QFileInfo(folder.path()).canonicalFilePath() }));

    m_standIn->responseCode = 1;
    EXPECT_EQ(outcomeOf(opener, QUrl(QStringLiteral("mailto:a@example.com"))), Outcome::cancelled);
    m_standIn->responseCode = 2;
    EXPECT_EQ(outcomeOf(opener, QUrl(QStringLiteral("https://kiruvo.example"))), Outcome::failed);
    // A folder that is not there never reaches the portal.
    m_standIn->responseCode = 0;
    EXPECT_EQ(
        outcomeOf(opener, QUrl::fromLocalFile(folder.filePath(QStringLiteral("gone")))), Outcome::failed);
    EXPECT_EQ(m_standIn->asked.size(), 4);
}

TEST_F(PortalOpenerTest, APortalThatEndsBeforeItsResponseOpenedNothing)
{
    platform::dbus::PortalOpener opener(options());
    // It took the request, then its process went away.
    m_standIn->insteadOfResponse = [this] { m_connection.unregisterService(m_serviceName); };
    EXPECT_EQ(outcomeOf(opener, QUrl(QStringLiteral("https://kiruvo.example/faq"))), Outcome::failed);
    EXPECT_EQ(m_standIn->asked.size(), 1);
}

TEST_F(PortalOpenerTest, WithoutAPortalNothingOpens)
{
    auto missing = options();
    missing.service = QStringLiteral("com.zelvantorium.Kiruvo.NoSuchPortal");
    platform::dbus::PortalOpener opener(missing);
    EXPECT_EQ(outcomeOf(opener, QUrl(QStringLiteral("https://kiruvo.example"))), Outcome::failed);
    EXPECT_TRUE(m_standIn->asked.isEmpty());
}

} // namespace

#include "DesktopOpenerTest.moc"
