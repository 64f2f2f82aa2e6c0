#include "app/engine/Session.h"
#include "app/engine/SessionHistory.h"
#include "platform/fake/FakeClock.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/DefaultsFileWatch.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/UserDefaults.h"
#include "platform/time/Clock.h"
#include "support/SqliteToolLock.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <thread>

using kiruvo::Session;
using kiruvo::SessionHistory;
using platform::PropertyList;
using platform::PropertyListArray;

namespace besideothers {

namespace fs = std::filesystem;

constexpr const char* suiteName = platform::UserDefaults::standardSuiteName;

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::string idOf(const Session& session)
{
    return upper(session.id().uuidString());
}

std::set<std::string> idsOf(const std::vector<Session>& sessions)
{
    std::set<std::string> ids;
    for (const auto& session : sessions) {
        ids.insert(idOf(session));
    }
    return ids;
}

// Runs a program to its end; its standard output, or nothing when it failed.
std::optional<std::string> run(const QString& program, const QStringList& arguments, int timeoutMs = 20000)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << process.readAllStandardError().toStdString();
        return std::nullopt;
    }
    return process.readAllStandardOutput().trimmed().toStdString();
}

std::optional<std::string> sqlite(const std::string& path, const std::string& sql)
{
    return run(QStringLiteral("sqlite3"), { QString::fromStdString(path), QString::fromStdString(sql) });
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty()) {
            result.push_back(line);
        }
    }
    return result;
}

// The ids of the sessions the file at `path` holds, as another program reads them: elements stored
// as texts and as objects alike. Read with the file's own journal only (no companion of another).
std::multiset<std::string> idsInFile(const std::string& path)
{
    const auto found = sqlite("file:" + path + "?mode=ro",
        "SELECT upper(json_extract(j.value, '$.id')) FROM defaults, json_each(defaults.value) AS j WHERE "
        "defaults.key = 'sessions';");
    std::multiset<std::string> ids;
    for (const auto& line : lines(found.value_or(""))) {
        ids.insert(line);
    }
    return ids;
}

// The keys of the file at `path`, besides the history.
std::vector<std::string> keysInFile(const std::string& path)
{
    return lines(sqlite("file:" + path + "?mode=ro", "SELECT key FROM defaults ORDER BY key;").value_or(""));
}

std::string failuresText(const std::vector<std::string>& failures)
{
    std::string text;
    for (const auto& failure : failures) {
        text += failure + "\n";
    }
    return text;
}

// Sessions of the last days, half an hour each, newest first.
std::vector<Session> recentSessions(int count, double hoursApart = 3)
{
    std::vector<Session> sessions;
    const auto now = platform::Clock::shared().now();
    for (int index = 0; index < count; ++index) {
        const auto start = now.addingTimeInterval(-3600.0 * hoursApart * (index + 1));
        sessions.push_back(*Session::make(
            platform::Uuid::random(), start, start.addingTimeInterval(1800), platform::TimeZone::utc()));
    }
    return sessions;
}

// A session that ended now, begun a while ago, as the engine hands one to the history.
Session endingNow(double seconds = 120)
{
    const auto now = platform::Clock::shared().now();
    return *Session::make(
        platform::Uuid::random(), now.addingTimeInterval(-seconds), now, platform::TimeZone::utc());
}

PropertyList listOf(const std::vector<Session>& sessions)
{
    PropertyListArray array;
    for (const auto& session : sessions) {
        array.emplace_back(session.jsonText());
    }
    return PropertyList(std::move(array));
}

// A settings file holding `sessions` and nothing else of the application's, made the way the
// application leaves one.
void makeStore(const std::string& path, const std::vector<Session>& sessions)
{
    auto database = platform::DefaultsDatabase::open(path);
    ASSERT_TRUE(database->setValue(suiteName, "sessions", listOf(sessions)));
    database->close();
}

// A store over the file at `path` with the history over it, as the application opens them.
struct Running {
    explicit Running(const std::string& path)
        : suite(std::make_shared<platform::UserDefaults>(platform::DefaultsDatabase::open(path), suiteName))
        , history(std::make_unique<SessionHistory>(suite))
    {
    }
    ~Running()
    {
        history.reset();
        suite->close();
    }
    std::set<std::string> answered() const { return idsOf(history->allSessions()); }

    std::shared_ptr<platform::UserDefaults> suite;
    std::unique_ptr<SessionHistory> history;
};

// Another program holding a read transaction on the settings file (a backup tool, a database
// browser), in Python's sqlite3 module, from hold() until release() or for the time hold() is given.
class ReadHolder {
public:
    explicit ReadHolder(std::string path)
        : m_path(std::move(path))
    {
    }
    ~ReadHolder() { release(); }

    // With `seconds`, the program lets go by itself that long after it took the file.
    bool hold(double seconds = 0)
    {
        m_process.start(QStringLiteral("python3"),
            { QStringLiteral("-c"),
                QStringLiteral(
                    "import sqlite3, sys, time\n"
                    "db = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                    "db.execute('BEGIN'); db.execute('SELECT count(*) FROM defaults').fetchall()\n"
                    "print('holding', flush=True)\n"
                    "time.sleep(float(sys.argv[2])) if float(sys.argv[2]) > 0 else sys.stdin.read()\n"
                    "db.execute('COMMIT')\n"),
                QString::fromStdString(m_path), QString::number(seconds) });
        return m_process.waitForReadyRead(10000);
    }
    void release()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.closeWriteChannel();
            m_process.waitForFinished(10000);
        }
    }

private:
    std::string m_path;
    QProcess m_process;
};

// Another program over the settings file, in Python's sqlite3 module, for as many seconds as it is
// given: one connection adds one of the sessions it is handed or deletes one it finds about ten
// times a second, each in a transaction of its own, and between them keeps a read transaction open
// for a tenth to half a second on a second connection. It stores the list with text elements,
// or with every element an object ("object"). It writes what it added and what it deleted, once
// each commit was through, to the file it is given (the runs of the application, processes forked
// from this one, would take its standard output).
const char* const addingAndDeletingProgram = R"(
import json, random, sqlite3, sys, time
path, pool_path, form, seconds, seed, report = sys.argv[1:7]
random.seed(int(seed))
pool = [line.rstrip('\n') for line in open(pool_path) if line.strip()]
suite = 'com.zelvantorium.Kiruvo'
stop = time.time() + float(seconds)
def id_of(element):
    return (json.loads(element) if isinstance(element, str) else element)['id'].upper()
reader = sqlite3.connect(path, timeout=10, isolation_level=None)
writer = sqlite3.connect(path, timeout=10, isolation_level=None)
added, deleted, next_new = [], [], 0
def change():
    global next_new
    try:
        writer.execute('BEGIN IMMEDIATE')
        row = writer.execute("SELECT value FROM defaults WHERE suite = ? AND key = 'sessions'", (suite,)).fetchone()
        items = json.loads(row[0]) if row else []
        if form == 'object':
            items = [json.loads(item) if isinstance(item, str) else item for item in items]
        done = None
        if (random.random() < 0.5 or len(items) < 5) and next_new < len(pool):
            element = pool[next_new]
            next_new += 1
            items.append(json.loads(element) if form == 'object' else element)
            done = (added, id_of(element))
        elif items:
            done = (deleted, id_of(items.pop(random.randrange(len(items)))))
        writer.execute("INSERT INTO defaults VALUES(?, 'sessions', ?) ON CONFLICT(suite, key) DO UPDATE SET value = excluded.value", (suite, json.dumps(items)))
        writer.execute('COMMIT')
        if done:
            done[0].append(done[1])
    except sqlite3.Error:
        if writer.in_transaction:
            writer.execute('ROLLBACK')
while time.time() < stop:
    try:
        reader.execute('BEGIN')
        reader.execute("SELECT length(value) FROM defaults WHERE key = 'sessions'").fetchall()
        time.sleep(random.uniform(0.1, 0.5))
        reader.execute('COMMIT')
    except sqlite3.Error:
        if reader.in_transaction:
            reader.execute('ROLLBACK')
    for _ in range(random.randint(1, 4)):
        change()
        time.sleep(random.uniform(0.02, 0.06))
open(report, 'w').write(json.dumps({'added': added, 'deleted': deleted}))
)";

class HistoryBesideOtherProgramsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!SqliteToolLock::available()) {
            GTEST_SKIP() << "the sqlite3 tool is not installed";
        }
        ASSERT_TRUE(m_folder.isValid());
        m_data = m_folder.filePath(QStringLiteral("data")).toStdString();
        fs::create_directory(m_data);
        ::chmod(m_data.c_str(), 0700);
        m_path = m_data + "/defaults.sqlite3";
    }

    std::string at(const std::string& name) const
    {
        return m_folder.filePath(QString::fromStdString(name)).toStdString();
    }

    // Files set aside as damaged in the data folder.
    std::vector<std::string> setAside() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_data)) {
            const auto name = entry.path().filename().string();
            if (name.find(".corrupt-") != std::string::npos) {
                names.push_back(name);
            }
        }
        return names;
    }

    // The application started and killed (SIGKILL) or ended (its store closed) `cycles` times, in
    // a process of its own each time, while `addingAndDeletingProgram` changes the history: each
    // run opens the store as the application does, ends up to three sessions at varied moments and
    // lets the store retry what waits. What the other program deleted never comes back, and what
    // it added stays, in the file and in what the next start's history answers.
    void killCyclesBesideAWriter(const std::string& form, int stored, double seconds)
    {
        platform::fake::ScopedFakeClock fake(platform::Clock::shared().now(), 1000);
        const auto initial = recentSessions(stored, 2);
        makeStore(m_path, {});
        if (form == "object") {
            // The other program's own form from the start.
            std::string sql = "UPDATE defaults SET value = (SELECT json_group_array(json(e)) FROM (";
            for (std::size_t index = 0; index < initial.size(); ++index) {
                sql += (index ? " UNION ALL SELECT '" : "SELECT '") + initial[index].jsonText() + "' AS e";
            }
            ASSERT_TRUE(sqlite(m_path, sql + ")) WHERE key = 'sessions';"));
        } else {
            makeStore(m_path, initial);
        }
        const auto pool = recentSessions(400, 0.25);
        {
            std::ofstream file(at("pool"));
            for (const auto& session : pool) {
                file << session.jsonText() << '\n';
            }
        }
        QProcess other;
        other.start(QStringLiteral("python3"),
            { QStringLiteral("-c"), QString::fromLatin1(addingAndDeletingProgram),
                QString::fromStdString(m_path), QString::fromStdString(at("pool")),
                QString::fromStdString(form), QString::number(seconds), QStringLiteral("7"),
                QString::fromStdString(at("report")) });
        ASSERT_TRUE(other.waitForStarted());

        std::mt19937 random(11);
        int cycles = 0;
        int killed = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until && other.state() == QProcess::Running) {
            const int sessions = static_cast<int>(random() % 6);
            const bool quits = random() % 5 == 0;
            // One run in five ends by itself, the others are killed at any moment.
            const auto lifetime = std::chrono::milliseconds(quits ? 5000 : 30 + random() % 1500);
            const unsigned seed = random();
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                runApplicationOnce(sessions, quits, seed);
            }
            ++cycles;
            const auto deadline = std::chrono::steady_clock::now() + lifetime;
            int status = 0;
            pid_t ended = 0;
            while ((ended = ::waitpid(child, &status, WNOHANG)) == 0
                && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            if (ended == 0) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                ++killed;
            } else {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run ended with " << status;
            }
        }
        ASSERT_TRUE(other.waitForFinished(int(seconds * 1000) + 20000));
        QFile reportFile(QString::fromStdString(at("report")));
        ASSERT_TRUE(reportFile.open(QIODevice::ReadOnly)) << other.readAllStandardError().toStdString();
        const auto report = QJsonDocument::fromJson(reportFile.readAll()).object();
        std::set<std::string> added;
        std::set<std::string> deleted;
        for (const auto& id : report.value(QStringLiteral("added")).toArray()) {
            added.insert(id.toString().toStdString());
        }
        for (const auto& id : report.value(QStringLiteral("deleted")).toArray()) {
            deleted.insert(id.toString().toStdString());
        }
        ASSERT_GE(deleted.size(), 3U) << other.readAllStandardError().toStdString();

        // The next start, with nothing else running.
        SessionHistory::joinHistoriesWrittenBeforeTheStoreOpens();
        std::set<std::string> answered;
        {
            Running next(m_path);
            answered = next.answered();
        }
        const auto inFile = idsInFile(m_path);
        std::set<std::string> cameBack;
        std::set<std::string> lost;
        auto kept = idsOf(initial);
        kept.insert(added.begin(), added.end());
        for (const auto& id : deleted) {
            kept.erase(id);
            if (inFile.count(id) || answered.count(id)) {
                cameBack.insert(id);
            }
        }
        for (const auto& id : kept) {
            if (!inFile.count(id) || !answered.count(id)) {
                lost.insert(id);
            }
        }
        EXPECT_TRUE(cameBack.empty())
            << cameBack.size() << " of " << deleted.size() << " deleted sessions came back in " << cycles
            << " runs (" << killed << " killed)";
        EXPECT_TRUE(lost.empty()) << lost.size() << " of " << kept.size() << " sessions lost in " << cycles
                                  << " runs (" << killed << " killed)";
        for (const auto& key : keysInFile(m_path)) {
            EXPECT_EQ(key.find("sessions.unreadable"), std::string::npos) << key;
        }
    }

    // One run of the application's store, in the forked process, which it never leaves.
    [[noreturn]] void runApplicationOnce(int sessions, bool quits, unsigned seed)
    {
        std::mt19937 random(seed);
        SessionHistory::joinHistoriesWrittenBeforeTheStoreOpens();
        {
            Running app(m_path);
            app.suite->hearOtherPrograms();
            app.history->allSessions();
            auto retried = std::chrono::steady_clock::now();
            for (int step = 0; step < 60; ++step) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::milliseconds(10 + random() % 20));
                if (sessions > 0 && random() % 8 == 0) {
                    app.history->add(endingNow(60 + random() % 600));
                    --sessions;
                }
                // The engine's tick while writes wait for the file.
                if (std::chrono::steady_clock::now() - retried
                    > std::chrono::duration<double>(SessionHistory::retryInterval)) {
                    app.history->retryUnstored();
                    retried = std::chrono::steady_clock::now();
                }
                // What the menu and the bus ask meanwhile.
                app.history->allSessions();
            }
            if (!quits) {
                // Killed meanwhile.
                std::this_thread::sleep_for(std::chrono::seconds(5));
            }
        }
        std::_Exit(0);
    }

    QTemporaryDir m_folder;
    std::string m_data;
    std::string m_path;
};

} // namespace besideothers

using besideothers::HistoryBesideOtherProgramsTest;
using namespace besideothers;

// A sync tool at login renames a copy of the file (the history and one session more) over it at
// varied moments while the application opens it: whichever file the store ends up with, it is the
// one at the path, the copy's session is answered, and the next session ends in that file.
TEST_F(HistoryBesideOtherProgramsTest, ACopyRenamedOverWhileTheStoreOpensIsTheOneWrittenTo)
{
    platform::fake::ScopedFakeClock fake(platform::Clock::shared().now(), 1000);
    const auto history = recentSessions(600, 0.5);
    makeStore(at("original"), history);
    auto copied = history;
    copied.insert(copied.begin(), endingNow(3000));
    makeStore(at("copy"), copied);

    // How long an opening and the first read of the history take here.
    fs::copy_file(at("original"), m_path);
    const auto started = std::chrono::steady_clock::now();
    {
        Running app(m_path);
        app.history->allSessions();
    }
    const auto opening
        = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started);
    fs::remove_all(m_data);

    // Most of an opening's time goes to reading the history; the file is taken in its first tens of
    // milliseconds.
    const int runs = 16;
    std::vector<std::string> failures;
    for (int run = 0; run < runs; ++run) {
        fs::create_directory(m_data);
        fs::copy_file(at("original"), m_path);
        fs::copy_file(at("copy"), m_data + "/copy");
        const auto delay
            = std::chrono::microseconds(std::min(40000L, static_cast<long>(opening.count())) * run / runs);
        std::atomic<bool> renamed = false;
        std::thread syncTool([&] {
            std::this_thread::sleep_for(delay);
            renamed = ::rename((m_data + "/copy").c_str(), m_path.c_str()) == 0;
        });
        {
            Running app(m_path);
            app.history->allSessions();
            syncTool.join();
            ASSERT_TRUE(renamed);
            QCoreApplication::processEvents();
            const auto next = endingNow();
            app.history->add(next);
            const auto answered = app.answered();
            const auto inFile = idsInFile(m_path);
            std::string what;
            if (!answered.count(idOf(copied.front())) || !inFile.count(idOf(copied.front()))) {
                what += " the copy's session is not there;";
            }
            if (!answered.count(idOf(next)) || inFile.count(idOf(next)) != 1) {
                what += " the session ended next is not in the file at the path;";
            }
            if (app.history->hasUnstoredHistory()) {
                what += " the history is not stored;";
            }
            if (!what.empty()) {
                failures.push_back(
                    "renamed " + std::to_string(delay.count()) + " µs after the start:" + what);
            }
        }
        fs::remove_all(m_data);
    }
    EXPECT_TRUE(failures.empty()) << failures.size() << " of " << runs << " runs (an opening takes "
                                  << static_cast<long>(opening.count()) << " µs):\n"
                                  << failuresText(failures);
}

// Another program holds the file in WAL mode with commits of its own in its log, a copy is renamed
// over the file, and that program goes without cleaning up: its -wal and -shm lie beside the copy.
// Sessions ended meanwhile are kept across the end of the application, and the next start answers
// the copy's history with them, never what the other program's log held, and sets nothing aside.
TEST_F(HistoryBesideOtherProgramsTest, AnotherFilesWalCompanionsAtThePathLoseNothing)
{
    platform::fake::ScopedFakeClock fake(platform::Clock::shared().now(), 1000);
    const auto sessions = recentSessions(12);
    const std::vector<Session> first(sessions.begin(), sessions.begin() + 5);
    makeStore(m_path, first);
    auto copied = first;
    copied.insert(copied.begin(), endingNow(3000));
    makeStore(at("copy"), copied);

    std::vector<Session> ended;
    {
        Running app(m_path);
        ASSERT_TRUE(app.suite->hearOtherPrograms());
        ASSERT_EQ(app.history->allSessions().size(), 5U);

        QProcess browser;
        browser.start(QStringLiteral("python3"),
            { QStringLiteral("-c"),
                QStringLiteral(
                    "import sqlite3, sys, time\n"
                    "db = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=10)\n"
                    "db.execute('PRAGMA journal_mode=WAL'); db.execute('PRAGMA wal_autocheckpoint=0')\n"
                    "db.execute(\"UPDATE defaults SET value = ? WHERE key = 'sessions'\", (sys.argv[2],))\n"
                    "print('ready', flush=True)\n"
                    "time.sleep(60)\n"),
                QString::fromStdString(m_path),
                QString::fromStdString(*platform::PropertyListJson::encode(listOf(sessions))) });
        ASSERT_TRUE(browser.waitForReadyRead(10000)) << browser.readAllStandardError().toStdString();
        fs::copy_file(at("copy"), m_data + "/copy");
        ASSERT_EQ(::rename((m_data + "/copy").c_str(), m_path.c_str()), 0);
        browser.kill();
        browser.waitForFinished();
        ASSERT_TRUE(fs::exists(m_path + "-wal") && fs::file_size(m_path + "-wal") > 0);
        QTest::qWait(2 * platform::DefaultsFileWatch::settleMilliseconds);

        for (int session = 0; session < 2; ++session) {
            fake.clock.advance(200);
            app.history->retryUnstored();
            ended.push_back(endingNow());
            app.history->add(ended.back());
            QTest::qWait(platform::DefaultsFileWatch::settleMilliseconds);
        }
    }

    // The next start, the other program's companions perhaps still there.
    SessionHistory::joinHistoriesWrittenBeforeTheStoreOpens();
    Running next(m_path);
    const auto answered = next.answered();
    for (const auto& session : copied) {
        EXPECT_TRUE(answered.count(idOf(session))) << "a session of the copy is missing";
    }
    for (const auto& session : ended) {
        EXPECT_TRUE(answered.count(idOf(session)))
            << "a session ended while the companions lay there is lost";
    }
    for (std::size_t index = 5; index < sessions.size(); ++index) {
        EXPECT_FALSE(answered.count(idOf(sessions[index]))) << "the other file's log was applied to the copy";
    }
    EXPECT_TRUE(setAside().empty()) << "the sound copy was set aside: " << setAside().front();
}

// Another program adds and deletes sessions several times a second, storing every session as a JSON
// object, and holds read transactions, while the application starts, ends sessions and is killed,
// again and again: the history reads those objects, so none is copied aside, the history is never
// emptied, and no deletion comes back.
TEST_F(HistoryBesideOtherProgramsTest, AHistoryOfObjectElementsIsNeverCopiedAsideThroughKilledRuns)
{
    killCyclesBesideAWriter("object", 300, 5);
}

// Another program holds a read transaction until after the application has ended: the file it
// leaves holds the table of values alone, with nothing of the store's own bookkeeping.
TEST_F(HistoryBesideOtherProgramsTest, AReaderAtTheEndLeavesTheFileWithTheTableOfValuesAlone)
{
    platform::fake::ScopedFakeClock fake(platform::Clock::shared().now(), 1000);
    const auto sessions = recentSessions(6);
    makeStore(m_path, std::vector<Session>(sessions.begin(), sessions.begin() + 4));
    {
        Running app(m_path);
        ASSERT_TRUE(app.suite->hearOtherPrograms());
        app.history->allSessions();
        ASSERT_TRUE(sqlite(m_path,
            "UPDATE defaults SET value = json_insert(value, '$[#]', '" + sessions[4].jsonText()
                + "') WHERE key = 'sessions';"));
        QTest::qWait(2 * platform::DefaultsFileWatch::settleMilliseconds);
        app.history->add(sessions[5]);
        app.suite->setObject(PropertyList(std::string("dark")), "theme");

        ReadHolder reader(m_path);
        ASSERT_TRUE(reader.hold());
        app.history.reset();
        app.suite->close();
        reader.release();
    }
    EXPECT_EQ(sqlite(m_path,
                  "SELECT type || ' ' || name FROM sqlite_schema WHERE name NOT IN ('defaults', "
                  "'sqlite_autoindex_defaults_1') UNION ALL SELECT 'row of ' || suite FROM defaults WHERE "
                  "suite <> '"
                      + std::string(suiteName) + "';"),
        "");
    EXPECT_EQ(idsInFile(m_path).size(), 6U);
}
