#pragma once

#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"
#include "support/SeparateTestProcess.h"
#include "support/SqliteToolLock.h"

#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

// The standard suite over a settings file that another program changes while the application runs:
// the sqlite3 tool, in a process of its own, commits what set() and remove() ask, and the store
// hears of it through its watch on the file, as the application's store does. The settings keys
// bind to the standard suite at their first use: a test over this store runs in a test program of
// its own (SeparateTestProcess), and makes it before anything reads a setting.
class OtherProgramStore {
public:
    explicit OtherProgramStore(std::string path)
        : m_path(std::move(path))
        , suite(std::make_shared<platform::UserDefaults>(
              platform::DefaultsDatabase::open(m_path), platform::UserDefaults::standardSuiteName))
    {
        platform::UserDefaults::setStandard(suite);
        watching = suite->hearOtherPrograms();
    }

    // Stores `storedText` (a value's stored form) under `key`, as that program.
    bool set(const std::string& key, const std::string& storedText)
    {
        return commit("INSERT INTO defaults VALUES('" + std::string(platform::UserDefaults::standardSuiteName)
            + "', '" + key + "', '" + storedText
            + "') ON CONFLICT(suite, key) DO UPDATE SET value = excluded.value;");
    }
    bool remove(const std::string& key) { return commit("DELETE FROM defaults WHERE key = '" + key + "';"); }

    // Runs the event loop until `done` holds, or for five seconds: the watch wakes the store at once
    // when the file changes.
    static bool heard(const std::function<bool()>& done) { return QTest::qWaitFor(done, 5000); }

private:
    bool commit(const std::string& sql)
    {
        SqliteToolLock tool(m_path);
        return tool.hold(false) && tool.exec(sql) && tool.commitAndRelease();
    }

    std::string m_path;

public:
    std::shared_ptr<platform::UserDefaults> suite;
    bool watching = false;
};

// A test of `Fixture` (one with the session engine's fakes) over an OtherProgramStore in its
// folder, run in a test program of its own.
template <class Fixture> class OtherProgramTest : public Fixture {
protected:
    void SetUp() override
    {
        if (!SqliteToolLock::available()) {
            GTEST_SKIP() << "the sqlite3 tool is not installed";
        }
        if (!SeparateTestProcess::isRunningAlone()) {
            SeparateTestProcess::runCurrentTest();
            // Its failure there stops it here too, before the body runs without its store.
            ASSERT_FALSE(this->HasFailure());
            GTEST_SKIP() << "ran in a test program of its own";
        }
        Fixture::SetUp();
        other
            = std::make_unique<OtherProgramStore>(this->m_folder.filePath("defaults.sqlite3").toStdString());
        ASSERT_TRUE(other->watching);
    }

    std::unique_ptr<OtherProgramStore> other;
};
