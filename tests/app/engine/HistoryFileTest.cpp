#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "support/SeparateTestProcess.h"

#include "platform/ErrorReporter.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeIdleTimeSource.h"
#include "platform/fake/FakeSystemEvents.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"
#include "platform/time/TimeZone.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>
#include <string>

namespace {

// The value of "sessions" in a copy of the database file alone, without its -wal and -shm files:
// what a user who copies or backs up defaults.sqlite3 has.
std::optional<std::string> historyInACopyOf(const QString& file, const QString& copy)
{
    QFile::remove(copy);
    if (!QFile::copy(file, copy)) {
        return std::nullopt;
    }
    sqlite3* db = nullptr;
    std::optional<std::string> value;
    if (sqlite3_open(copy.toUtf8().constData(), &db) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(
                db, "SELECT value FROM defaults WHERE key = 'sessions'", -1, &statement, nullptr)
                == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW) {
            value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return value;
}

} // namespace

// The settings keys bind to the standard suite at their first use, and here that suite lives in a
// file: the test runs in a test program of its own.
TEST(HistoryFileTest, EveryWriteOfTheHistoryIsInTheDatabaseFileItself)
{
    if (!SeparateTestProcess::isRunningAlone()) {
        SeparateTestProcess::runCurrentTest();
        return;
    }
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = folder.filePath("defaults.sqlite3");
    auto database = platform::DefaultsDatabase::open(file.toStdString());
    auto suite
        = std::make_shared<platform::UserDefaults>(database, platform::UserDefaults::standardSuiteName);
    platform::UserDefaults::setStandard(suite);
    ASSERT_EQ(kiruvo::Keys::sessions().suite(), suite);
    platform::ErrorReporter reporter(folder.filePath("reports").toStdString());
    platform::ErrorReporter::setShared(&reporter);
    platform::fake::ScopedFakeClock fake;
    platform::fake::ScopedFakeIdleTimeSource idle;
    platform::fake::FakeSystemEvents events;

    {
        kiruvo::SessionController controller;
        const platform::Date start(700000000);
        const auto zone = *platform::TimeZone::withIdentifier("Europe/Oslo");
        controller.setAllSessions(
            { *kiruvo::Session::make(platform::Uuid::random(), start, start.addingTimeInterval(600), zone) });
        const auto first = historyInACopyOf(file, folder.filePath("first.sqlite3"));
        ASSERT_TRUE(first.has_value()) << "the history is only in the write-ahead log";
        EXPECT_NE(first->find("Oslo"), std::string::npos) << *first;

        controller.setAllSessions({});
        EXPECT_EQ(historyInACopyOf(file, folder.filePath("second.sqlite3")), "[]");
    }
    platform::ErrorReporter::setShared(nullptr);
}
