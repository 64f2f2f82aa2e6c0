#include "app/SessionEngineFixture.h"

#include "app/intents/IntentHandlerLookup.h"
#include "app/intents/IntentsDBusAdaptor.h"
#include "app/intents/SessionControllerEngine.h"
#include "platform/Logger.h"
#include "platform/linux/BusCallQueue.h"
#include "platform/linux/LogindSystemEvents.h"
#include "support/BusCallers.h"
#include "support/PrivateSessionBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

using namespace kiruvo;

namespace {

constexpr const char* markerPath = "/com/zelvantorium/KiruvoTest/Logout";
constexpr const char* markerInterface = "com.zelvantorium.KiruvoTest.Logout";

// The session manager's SIGTERM, sent when the logout's call reaches it: the bus hands a sender's
// messages over in order, so every call sent before it has reached the application by then.
class Logout : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zelvantorium.KiruvoTest.Logout")
public Q_SLOTS:
    Q_SCRIPTABLE void Now()
    {
        fprintf(stderr, "LOGOUT\n");
        ::raise(SIGTERM);
    }
};

// The application's engine, counting the questions about the history.
class CountingEngine final : public SessionEngine {
public:
    explicit CountingEngine(SessionController& controller)
        : m_engine(controller)
    {
    }

    bool isEnabled() const override { return m_engine.isEnabled(); }
    void setEnabled(bool enabled) override
    {
        ++changes;
        m_engine.setEnabled(enabled);
    }
    std::optional<CurrentSession> currentSession() const override { return m_engine.currentSession(); }
    void newSession() override
    {
        ++changes;
        m_engine.newSession();
    }
    std::vector<Session> allSessions() const override { return m_engine.allSessions(); }
    platform::Uuid historyKey() const override
    {
        ++historyQuestions;
        return m_engine.historyKey();
    }
    bool isHistoryStored() const override { return m_engine.isHistoryStored(); }
    std::optional<zk::Duration> totalDurationForDayAt(platform::Date date) const override
    {
        return m_engine.totalDurationForDayAt(date);
    }

    mutable int historyQuestions = 0;
    // The calls that changed tracking or started a session.
    int changes = 0;

private:
    SessionControllerEngine m_engine;
};

// A script's loop that sends thousands of GetSessions calls without waiting for the answers
// (1,500 stored sessions) while a session runs, then a logout: SIGTERM must store the running
// session at once, whatever the loop left queued. The real scripting interface, engine, store
// and signal pipe, on a bus of the test's own; time is the fake clock's.
class IntentsFloodTest : public SessionEngineTest {
protected:
    IntentsFloodTest() = default;
    // On a bus configured with `busConfiguration`, whose callers may leave `limits` unread.
    IntentsFloodTest(const QString& busConfiguration, platform::UnreadAnswerWatch::Limits limits)
        : m_bus(busConfiguration)
        , m_limits(limits)
    {
    }

    void SetUp() override
    {
        SessionEngineTest::SetUp();
        if (!m_bus.isRunning()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
        platform::LogindSystemEvents::Options options { true, false, [this] {
                                                           ++quits;
                                                           questionsAtQuit = m_engine->historyQuestions;
                                                       } };
        m_events = std::make_unique<platform::LogindSystemEvents>(
            QDBusConnection(QStringLiteral("kiruvo-flood-no-system-bus")), options);
        ASSERT_TRUE(m_events->isWatchingSignals());
        platform::SystemEvents::setShared(m_events.get());
        m_engine.emplace(controller());
        SessionEngine::setSharedForTesting(&*m_engine);
        IntentsDBusAdaptor::setHandlerLookup(handlerForIntent);

        m_server = m_bus.connect(QStringLiteral("flood-server"));
        m_script = m_bus.connect(QStringLiteral("flood-script"));
        platform::BusCallQueue::of(m_server, m_limits);
        ASSERT_TRUE(registerIntentsObject(m_server));
        ASSERT_TRUE(m_server.registerObject(
            QString::fromLatin1(markerPath), &m_logout, QDBusConnection::ExportScriptableSlots));

        const platform::Date now = fake.clock.now();
        std::vector<Session> history;
        for (int i = 0; i < 1500; ++i) {
            const platform::Date start = now.addingTimeInterval(-7200.0 - i * 6000.0);
            history.push_back(session(start, start.addingTimeInterval(1200)));
        }
        controller().setAllSessions(history);
        controller().setEnabled(true);
        fake.clock.advance(900);
        ASSERT_TRUE(controller().currentSession());
    }

    void TearDown() override
    {
        // Calls still waiting are answered, without a handler, before the connection goes.
        IntentsDBusAdaptor::setHandlerLookup({});
        PrivateSessionBus::serveUntil(
            [this] { return platform::BusCallQueue::of(m_server).waitingCount() == 0; }, 30000);
        if (m_engine) {
            m_server.unregisterObject(QString::fromLatin1(markerPath));
            delete m_server.objectRegisteredAt(QString::fromLatin1(IntentsDBusAdaptor::objectPath));
        }
        m_pending.clear();
        IntentsDBusAdaptor::setHandlerLookup({});
        SessionEngine::setSharedForTesting(nullptr);
        m_controller.reset();
        m_engine.reset();
        platform::SystemEvents::setShared(&events);
        m_events.reset();
        SessionEngineTest::TearDown();
    }

    // Serves the application until every call of m_pending has ended, for at most `milliseconds`.
    bool servedUntilEveryCallEnded(int milliseconds)
    {
        return PrivateSessionBus::serveUntil(
            [this] {
                return std::all_of(
                    m_pending.begin(), m_pending.end(), [](const auto& call) { return call.isFinished(); });
            },
            milliseconds);
    }

    QDBusMessage getEnabledState() const
    {
        return QDBusMessage::createMethodCall(m_server.baseService(),
            QString::fromLatin1(IntentsDBusAdaptor::objectPath),
            QString::fromLatin1(IntentsDBusAdaptor::interfaceName), QStringLiteral("GetEnabledState"));
    }

    BusCallers::Call getSessionsCall() const
    {
        return { m_server.baseService(), QString::fromLatin1(IntentsDBusAdaptor::objectPath),
            QString::fromLatin1(IntentsDBusAdaptor::interfaceName), QStringLiteral("GetSessions"), {},
            false };
    }

    // What the bus daemon counts for the connection of `name`, asked as any program on the bus may.
    std::int64_t daemonCount(const QString& name, const char* key)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
            QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus.Debug.Stats"),
            QStringLiteral("GetConnectionStats"));
        call << name;
        const QDBusMessage reply = PrivateSessionBus::callServing(m_script, call);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return -1;
        }
        return qdbus_cast<QVariantMap>(reply.arguments().front())
            .value(QString::fromLatin1(key))
            .toLongLong();
    }

    QDBusMessage getSessions() const
    {
        return QDBusMessage::createMethodCall(m_server.baseService(),
            QString::fromLatin1(IntentsDBusAdaptor::objectPath),
            QString::fromLatin1(IntentsDBusAdaptor::interfaceName), QStringLiteral("GetSessions"));
    }

    // Sends the logout behind the calls sent so far, then serves the application's events until
    // it has quit (a minute at most).
    void logOutAndServe()
    {
        m_script.send(QDBusMessage::createMethodCall(m_server.baseService(), QString::fromLatin1(markerPath),
            QString::fromLatin1(markerInterface), QStringLiteral("Now")));
        PrivateSessionBus::serveUntil([this] { return quits > 0; }, 60000);
    }

    void expectTheRunningSessionStored()
    {
        EXPECT_EQ(quits, 1);
        EXPECT_FALSE(controller().currentSession());
        const auto stored = sessionsIn(storedEntries());
        ASSERT_EQ(stored.size(), 1501u);
        EXPECT_NEAR(stored.front().duration(), 900, 1);
    }

    PrivateSessionBus m_bus;
    platform::UnreadAnswerWatch::Limits m_limits;
    std::unique_ptr<platform::LogindSystemEvents> m_events;
    std::optional<CountingEngine> m_engine;
    QDBusConnection m_server { QString() };
    QDBusConnection m_script { QString() };
    Logout m_logout;
    std::vector<QDBusPendingCall> m_pending;
    int quits = 0;
    int questionsAtQuit = -1;
};

// A loop of calls that want no answer: none of them is worked on, and the logout stores the
// session as soon as it comes.
TEST_F(IntentsFloodTest, CallsThatWantNoAnswerAreNotWorkedOnAndTheLogoutStoresTheSession)
{
    for (int i = 0; i < 20000; ++i) {
        m_script.send(getSessions());
    }
    logOutAndServe();
    expectTheRunningSessionStored();
    EXPECT_EQ(m_engine->historyQuestions, 0);
}

// A loop of calls that do want their answers: the logout is acted on while they still wait.
TEST_F(IntentsFloodTest, ALogoutBehindThousandsOfWaitingCallsStoresTheSessionAtOnce)
{
    for (int i = 0; i < 1000; ++i) {
        m_pending.push_back(m_script.asyncCall(getSessions(), 120000));
    }
    logOutAndServe();
    expectTheRunningSessionStored();
    // A few calls may have been worked on while the loop's calls came in, never the queue's fill.
    EXPECT_LT(questionsAtQuit, static_cast<int>(platform::BusCallQueue::maximumWaitingPerCaller / 4));
}

// A caller that reads and sends more calls at once than may wait for their turn: each call past those
// is refused with the error that says why, and every other one is answered.
TEST_F(IntentsFloodTest, ACallerThatReadsIsRefusedTheCallsPastThoseThatMayWait)
{
    const int sent = static_cast<int>(platform::BusCallQueue::maximumWaitingPerCaller) + 16;
    for (int i = 0; i < sent; ++i) {
        m_pending.push_back(m_script.asyncCall(getEnabledState()));
    }
    // The bus hands on a sender's messages in order: once it has answered this, every call has gone
    // to the application, whose main thread, not served meanwhile, has started none of them.
    m_script.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("GetId")));
    QThread::msleep(300);
    ASSERT_TRUE(servedUntilEveryCallEnded(10000));
    int refused = 0;
    for (const QDBusPendingCall& call : m_pending) {
        if (call.isError()) {
            EXPECT_EQ(call.error().type(), QDBusError::LimitsExceeded)
                << call.error().message().toStdString();
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_LE(refused, sent - static_cast<int>(platform::BusCallQueue::maximumWaitingPerCaller));

    // Hundreds of refusals to a caller that reads them: it is asked about, and every call still ends.
    m_pending.clear();
    for (int i = 0; i < 1000; ++i) {
        m_pending.push_back(m_script.asyncCall(getEnabledState()));
    }
    EXPECT_TRUE(servedUntilEveryCallEnded(10000));
}

// A caller that reads and sends twenty thousand calls at once: every one ends within seconds, answered
// or refused with the error that says why, none at the caller's own timeout.
TEST_F(IntentsFloodTest, TwentyThousandCallsSentAtOnceByACallerThatReadsAllEndWithinSeconds)
{
    for (int i = 0; i < 20000; ++i) {
        m_pending.push_back(m_script.asyncCall(getEnabledState(), 60000));
    }
    QElapsedTimer waited;
    waited.start();
    EXPECT_TRUE(servedUntilEveryCallEnded(40000));
    int unfinished = 0;
    for (const QDBusPendingCall& call : m_pending) {
        if (!call.isFinished()) {
            ++unfinished;
        } else if (call.isError()) {
            EXPECT_EQ(call.error().type(), QDBusError::LimitsExceeded)
                << call.error().message().toStdString();
        }
    }
    EXPECT_EQ(unfinished, 0);
    // Far from the 25 s a client's call waits by default.
    EXPECT_LT(waited.elapsed(), 20000);
}

// The bus daemon is asked what a caller leaves unread once it has been sent as much as it may be,
// reckoned at the answers' real size: two thousand answers of an empty history to a caller that reads
// come to far less, where each was counted a quarter of a megabyte larger than it is.
TEST_F(IntentsFloodTest, AnswersAreCountedAtTheirSizeAndSmallOnesAskTheDaemonNothing)
{
    QProcess monitor;
    monitor.start(QStringLiteral("dbus-monitor"),
        { QStringLiteral("--address"), m_bus.address(),
            QStringLiteral("type='method_call',interface='org.freedesktop.DBus.Debug.Stats'") });
    if (!monitor.waitForStarted(5000)) {
        GTEST_SKIP() << "dbus-monitor is not available";
    }
    // It says it has become a monitor (losing its name) before it shows anything else.
    ASSERT_TRUE(PrivateSessionBus::serveUntil(
        [&] { return monitor.waitForReadyRead(0) || monitor.bytesAvailable() > 0; }, 10000));
    controller().setAllSessions({});
    for (int round = 0; round < 2000 / 40; ++round) {
        std::vector<QDBusPendingCall> sent;
        for (int i = 0; i < 40; ++i) {
            sent.push_back(m_script.asyncCall(getSessions()));
        }
        ASSERT_TRUE(PrivateSessionBus::serveUntil(
            [&] {
                return std::all_of(
                    sent.begin(), sent.end(), [](const auto& call) { return call.isFinished(); });
            },
            20000));
        for (const QDBusPendingCall& call : sent) {
            ASSERT_FALSE(call.isError()) << call.error().message().toStdString();
        }
    }
    // What the daemon is asked after the last answer is asked by then.
    PrivateSessionBus::callServing(m_script, getEnabledState());
    PrivateSessionBus::serveUntil([] { return false; }, 300);
    monitor.terminate();
    monitor.waitForFinished(5000);
    const QString seen = QString::fromUtf8(monitor.readAll());
    EXPECT_EQ(seen.count(QStringLiteral("member=GetConnectionStats")), 0) << seen.toStdString();
}

// A caller that sends GetSessions (of 1,500 sessions), or Introspect of "/", without pause and never reads a
// byte: a script's calls are answered within seconds all the while, where the refusals of the calls it
// sent past those that may wait, and the answers it was sent until the share was reached, filled the
// application's connection ahead of the script's answers, and the script waited ten seconds and more.
TEST_F(IntentsFloodTest, AScriptIsAnsweredWhileACallerSendsQuestionsWithoutPauseAndNeverReads)
{
    if (!BusCallers::available()) {
        GTEST_SKIP() << "python3 with its D-Bus module is not available";
    }
    // The root node has no object of the application's: QtDBus would answer it on its own.
    BusCallers::Call introspect { m_server.baseService(), QStringLiteral("/"),
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"), {}, false };
    const QDBusMessage root = PrivateSessionBus::callServing(m_script,
        QDBusMessage::createMethodCall(
            m_server.baseService(), introspect.path, introspect.interface, introspect.method));
    EXPECT_TRUE(root.arguments().value(0).toString().contains(QLatin1String("<node name=\"com\"/>")))
        << root.errorMessage().toStdString();
    for (const BusCallers::Call& flood : { getSessionsCall(), introspect }) {
        const QDBusMessage before = PrivateSessionBus::callServing(m_script, getEnabledState());
        ASSERT_EQ(before.type(), QDBusMessage::ReplyMessage) << before.errorMessage().toStdString();
        BusCallers flooder(m_bus.address(), flood, 1, 0, 6, BusCallers::Reads::never);
        PrivateSessionBus::serveUntil([] { return false; }, 1000);
        QElapsedTimer flooding;
        flooding.start();
        for (int i = 0; flooding.elapsed() < 4500; ++i) {
            QElapsedTimer waited;
            waited.start();
            QDBusPendingCall question = m_script.asyncCall(getEnabledState(), 30000);
            EXPECT_TRUE(PrivateSessionBus::serveUntil([&] { return question.isFinished(); }, 30000));
            EXPECT_FALSE(question.isError()) << question.error().message().toStdString();
            EXPECT_LT(waited.elapsed(), 4000)
                << "the script's question " << i + 1 << " during the flood of " << flood.method.toStdString();
            PrivateSessionBus::serveUntil([] { return false; }, 500);
        }
    }
}

// Callers that send calls and never read the answers, while the bus takes nothing more (a bus
// busy with them): the answers not taken stay with the application's connection, and must not
// grow past a few megabytes however many calls wait. A script that does read is answered at once
// when the bus takes messages again.
TEST_F(IntentsFloodTest, AnswersNobodyReadsStayFewAndAScriptThatReadsIsAnsweredMeanwhile)
{
    if (!BusCallers::available()) {
        GTEST_SKIP() << "python3 with its D-Bus module is not available";
    }
    BusCallers callers(m_bus.address(), getSessionsCall(), 10, 63);
    ASSERT_EQ(callers.serveUntilSent(), 630);
    // Sent is not yet handed on: on a busy machine the bus may still hold most of them.
    const platform::BusCallQueue& queue = platform::BusCallQueue::of(m_server);
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return queue.waitingCount() >= 20; }, 10000));
    std::int64_t mostUnsent = 0;
    const auto watchUnsent = [&] {
        mostUnsent = std::max(mostUnsent, platform::BusCallQueue::unsentBytes(m_server));
        return false;
    };
    const bool answeredInPause
        = m_bus.finishesWhilePaused([&] { PrivateSessionBus::serveUntil(watchUnsent, 3000); });
    EXPECT_TRUE(answeredInPause);
    EXPECT_LT(mostUnsent, 2 * platform::BusCallQueue::maximumUnsentBytes);

    QElapsedTimer waited;
    waited.start();
    QDBusPendingCall question = m_script.asyncCall(getEnabledState());
    ASSERT_TRUE(PrivateSessionBus::serveUntil(
        [&] {
            watchUnsent();
            return question.isFinished();
        },
        10000));
    EXPECT_FALSE(question.isError()) << question.error().message().toStdString();
    EXPECT_LT(waited.elapsed(), 2000);
    EXPECT_LT(mostUnsent, 2 * platform::BusCallQueue::maximumUnsentBytes);
}

// The bus daemon keeps what it has read from a connection charged to it until it has handed it on,
// and reads nothing more from it past its limit: the application's answers to callers that never
// read must stay far under that limit, or nobody is answered at all. Here the limit is a few
// megabytes rather than the session bus's gigabyte, and so is what the application lets them leave.
class IntentsUnreadAnswersTest : public IntentsFloodTest {
protected:
    static constexpr std::int64_t daemonLimit = std::int64_t { 8 } * 1024 * 1024;

    IntentsUnreadAnswersTest()
        : IntentsFloodTest(QStringLiteral("<limit name=\"max_incoming_bytes\">%1</limit>").arg(daemonLimit),
            { std::int64_t { 2 } * 1024 * 1024, std::int64_t { 64 } * 1024 })
    {
    }

    void SetUp() override
    {
        IntentsFloodTest::SetUp();
        if (!IsSkipped() && !BusCallers::available()) {
            GTEST_SKIP() << "python3 with its D-Bus module is not available";
        }
    }

    // How long a script's GetEnabledState waits for its answer (10 s at most).
    qint64 scriptWaitMs()
    {
        QElapsedTimer waited;
        waited.start();
        QDBusPendingCall question = m_script.asyncCall(getEnabledState());
        PrivateSessionBus::serveUntil([&] { return question.isFinished(); }, 10000);
        EXPECT_FALSE(question.isFinished() && question.isError()) << question.error().message().toStdString();
        return question.isFinished() ? waited.elapsed() : 10000;
    }
};

// Callers that send dozens of calls each and never read: a script is answered at once all the while,
// the daemon never holds as much of the application's as it will take, and once the callers leave
// nothing of theirs is left waiting.
TEST_F(IntentsUnreadAnswersTest, AScriptIsAnsweredWhileCallersLeaveTheirAnswersUnread)
{
    {
        BusCallers callers(m_bus.address(), getSessionsCall(), 10, 63);
        ASSERT_EQ(callers.serveUntilSent(), 630);
        std::int64_t mostUnsent = 0;
        PrivateSessionBus::serveUntil(
            [&] {
                mostUnsent = std::max(mostUnsent, platform::BusCallQueue::unsentBytes(m_server));
                return false;
            },
            2000);
        for (int i = 0; i < 3; ++i) {
            EXPECT_LT(scriptWaitMs(), 2000);
        }
        EXPECT_LT(mostUnsent, 2 * platform::BusCallQueue::maximumUnsentBytes);
        EXPECT_LT(daemonCount(m_server.baseService(), "PeakIncomingBytes"), daemonLimit);
        EXPECT_GT(platform::BusCallQueue::of(m_server).waitingCount(), 0u) << "the callers' calls wait";
    }
    EXPECT_TRUE(PrivateSessionBus::serveUntil(
        [this] { return platform::BusCallQueue::of(m_server).waitingCount() == 0; }, 6000));
}

// A caller that sends without pause and never reads a byte (not even what libdbus would read while
// it waits to send): once it is found leaving its answers unread, the calls it sends past those
// waiting get no refusal, which would stay in the daemon charged to the application as every answer
// it left. The daemon never holds as much of the application's as it will take, and a script is
// answered all the while. How soon is not asked here: until the daemon refuses the caller itself (at
// its limit of calls waiting for an answer) the application reads every call it sends, and a build
// with sanitizers on a busy machine reads them slower than they come, so the script's call waits
// behind them for a few seconds; without the fix it is never answered.
TEST_F(IntentsUnreadAnswersTest, AScriptIsAnsweredWhileACallerSendsWithoutPauseAndNeverReads)
{
    BusCallers::Call getEnabledStateCall { m_server.baseService(),
        QString::fromLatin1(IntentsDBusAdaptor::objectPath),
        QString::fromLatin1(IntentsDBusAdaptor::interfaceName), QStringLiteral("GetEnabledState"), {},
        false };
    BusCallers flooder(m_bus.address(), getEnabledStateCall, 1, 0, 10, BusCallers::Reads::never);
    PrivateSessionBus::serveUntil([] { return false; }, 3000);
    for (int i = 0; i < 5; ++i) {
        EXPECT_LT(scriptWaitMs(), 10000) << "the script's question " << i + 1 << " of 5";
        PrivateSessionBus::serveUntil([] { return false; }, 800);
    }
    EXPECT_LT(daemonCount(m_server.baseService(), "PeakIncomingBytes"), daemonLimit);
}

// While callers that never read keep the application's share over, a caller that reads and sends
// several calls at once (a GDBus script may) has each answered, or refused with the error that says
// why, within seconds; the daemon still never holds as much of the application's as it will take.
TEST_F(IntentsUnreadAnswersTest, ACallerThatReadsIsAnsweredWhileOthersKeepTheShareOver)
{
    BusCallers callers(m_bus.address(), getSessionsCall(), 10, 63);
    ASSERT_EQ(callers.serveUntilSent(), 630);
    ASSERT_TRUE(PrivateSessionBus::serveUntil(
        [this] { return daemonCount(m_server.baseService(), "IncomingBytes") > 2 * 1024 * 1024; }, 10000));
    PrivateSessionBus::serveUntil([] { return false; }, 300);

    for (int i = 0; i < 6; ++i) {
        m_pending.push_back(m_script.asyncCall(getSessions()));
    }
    // All six wait for their turn together, as those of a caller that sends them at once.
    QThread::msleep(300);
    QElapsedTimer waited;
    waited.start();
    EXPECT_TRUE(servedUntilEveryCallEnded(8000));
    EXPECT_LT(waited.elapsed(), 5000);
    for (const QDBusPendingCall& call : m_pending) {
        EXPECT_TRUE(
            call.isFinished() && (!call.isError() || call.error().type() == QDBusError::LimitsExceeded))
            << call.error().message().toStdString();
    }
    EXPECT_LT(daemonCount(m_server.baseService(), "PeakIncomingBytes"), daemonLimit);
}

// While callers that never read keep the application's share reached, a caller that reads sends five
// toggles at once, then five new sessions: each call ends within seconds, carried out and answered or
// refused with the error that says why, and one refused is never carried out later, where such calls
// were held until the client gave up and carried out after the flood (a script that retried its
// toggle got two).
TEST_F(IntentsUnreadAnswersTest, CallsThatChangeStateEndWithinSecondsAndThoseRefusedAreNeverCarriedOut)
{
    BusCallers callers(m_bus.address(), getSessionsCall(), 10, 63);
    ASSERT_EQ(callers.serveUntilSent(), 630);
    ASSERT_TRUE(PrivateSessionBus::serveUntil(
        [this] { return daemonCount(m_server.baseService(), "IncomingBytes") > 2 * 1024 * 1024; }, 10000));

    const auto sendFive = [this](const QString& method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(m_server.baseService(),
            QString::fromLatin1(IntentsDBusAdaptor::objectPath),
            QString::fromLatin1(IntentsDBusAdaptor::interfaceName), method);
        call.setArguments(arguments);
        std::vector<QDBusPendingCall> sent;
        for (int i = 0; i < 5; ++i) {
            sent.push_back(m_script.asyncCall(call, 60000));
        }
        EXPECT_TRUE(PrivateSessionBus::serveUntil(
            [&] {
                return std::all_of(
                    sent.begin(), sent.end(), [](const auto& call) { return call.isFinished(); });
            },
            10000))
            << method.toStdString() << " calls not ended within 10 s";
        int carriedOut = 0;
        for (const QDBusPendingCall& call : sent) {
            if (!call.isFinished()) {
                continue;
            }
            if (call.isError()) {
                EXPECT_EQ(call.error().type(), QDBusError::LimitsExceeded)
                    << call.error().message().toStdString();
            } else {
                ++carriedOut;
            }
        }
        return carriedOut;
    };

    const bool enabledBefore = controller().isEnabled();
    const int toggled = sendFive(QStringLiteral("SetEnabledState"), { 2, 0 });
    EXPECT_EQ(m_engine->changes, toggled);
    EXPECT_EQ(controller().isEnabled(), toggled % 2 == 0 ? enabledBefore : !enabledBefore);
    const int started = sendFive(QStringLiteral("NewSession"), {});
    EXPECT_EQ(m_engine->changes, toggled + started);

    // Nothing refused is carried out later, while the callers still leave their answers unread.
    PrivateSessionBus::serveUntil([] { return false; }, 4000);
    EXPECT_EQ(m_engine->changes, toggled + started);
}

// A caller held for what it left unread is served again once it reads.
TEST_F(IntentsUnreadAnswersTest, ACallerThatReadsAgainIsAnswered)
{
    BusCallers callers(m_bus.address(), getSessionsCall(), 1, 20);
    ASSERT_EQ(callers.serveUntilSent(), 20);
    const platform::BusCallQueue& queue = platform::BusCallQueue::of(m_server);
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return queue.waitingCount() > 0; }));
    EXPECT_FALSE(PrivateSessionBus::serveUntil([&] { return queue.waitingCount() == 0; }, 1500));
    const std::size_t waitingBeforeReading = queue.waitingCount();
    EXPECT_GT(waitingBeforeReading, 0u);

    callers.startReading();
    EXPECT_TRUE(PrivateSessionBus::serveUntil([&] { return queue.waitingCount() == 0; }, 15000))
        << waitingBeforeReading << " calls waited, " << queue.waitingCount() << " still wait";
}

// A bus that does not tell what callers leave unread (here its policy denies it; dbus-broker has no
// such count): said once, and every call is answered as it comes.
class IntentsBusWithoutCountsTest : public IntentsFloodTest {
protected:
    IntentsBusWithoutCountsTest()
        : IntentsFloodTest(
            QStringLiteral("<policy context=\"mandatory\"><deny send_destination=\"org.freedesktop.DBus\" "
                           "send_interface=\"org.freedesktop.DBus.Debug.Stats\"/></policy>"),
            { 1024 * 1024, 64 * 1024 })
    {
    }

    platform::LogCapture m_log;
};

TEST_F(IntentsBusWithoutCountsTest, ItIsSaidOnceAndEveryCallIsAnswered)
{
    if (!BusCallers::available()) {
        GTEST_SKIP() << "python3 with its D-Bus module is not available";
    }
    BusCallers callers(m_bus.address(), getSessionsCall(), 3, 4);
    ASSERT_EQ(callers.serveUntilSent(), 12);
    // Said after the first answer, when the bus is first asked.
    ASSERT_TRUE(PrivateSessionBus::serveUntil(
        [this] { return m_log.countContaining("never reads the answers") > 0; }, 10000));
    const platform::BusCallQueue& queue = platform::BusCallQueue::of(m_server);
    EXPECT_TRUE(PrivateSessionBus::serveUntil([&] { return queue.waitingCount() == 0; }, 20000));
    EXPECT_FALSE(PrivateSessionBus::serveUntil([&] { return queue.waitingCount() > 0; }, 300));
    const QDBusMessage answer = PrivateSessionBus::callServing(m_script, getEnabledState());
    EXPECT_EQ(answer.type(), QDBusMessage::ReplyMessage) << answer.errorMessage().toStdString();
    EXPECT_EQ(m_log.countContaining("never reads the answers"), 1);
}

} // namespace

#include "IntentsFloodTest.moc"
