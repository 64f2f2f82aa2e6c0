#pragma once

#include "libraries/defaults/Migration.h"
#include "platform/ErrorReporter.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace defaults_test {

// A setting enumeration stored by its raw text, as the application's are.
enum class Placement { icon, currentSessionDuration, totalTodayDuration };

// A Codable structure with an object form whose member order and escaping are checked.
struct Record {
    std::string id;
    std::string link;
    double start = 0;
    friend bool operator==(const Record&, const Record&) = default;
};

inline void to_json(platform::JsonValue& json, const Record& record)
{
    json = platform::JsonValue::object();
    json["id"] = record.id;
    json["link"] = record.link;
    json["start"] = record.start;
}

inline void from_json(const platform::JsonValue& json, Record& record)
{
    record.id = json.at("id").get<std::string>();
    record.link = json.at("link").get<std::string>();
    record.start = json.at("start").get<double>();
}

// Every test gets a fresh in-memory store as the standard suite, and an error reporter writing
// into a temporary folder whose reports it can read.
class DefaultsFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_stateDir.isValid());
        m_reporter = std::make_unique<platform::ErrorReporter>(m_stateDir.path().toStdString());
        platform::ErrorReporter::setShared(m_reporter.get());
        m_database = platform::DefaultsDatabase::open(":memory:");
        m_suite
            = std::make_shared<platform::UserDefaults>(m_database, platform::UserDefaults::standardSuiteName);
        platform::UserDefaults::setStandard(m_suite);
    }

    void TearDown() override
    {
        platform::UserDefaults::setStandard(nullptr);
        platform::ErrorReporter::setShared(nullptr);
    }

    platform::UserDefaults& suite() { return *m_suite; }
    const std::shared_ptr<platform::UserDefaults>& suitePointer() { return m_suite; }
    std::shared_ptr<platform::UserDefaults> otherSuite(const std::string& name)
    {
        return std::make_shared<platform::UserDefaults>(m_database, name);
    }

    std::optional<platform::PropertyList> stored(const std::string& key)
    {
        return m_suite->objectForKey(key);
    }

    std::vector<std::string> reports()
    {
        std::vector<std::string> lines;
        std::ifstream file(m_reporter->reportsPath());
        for (std::string line; std::getline(file, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    // Keys of the suite that begin with `prefix`.
    std::vector<std::string> keysWithPrefix(const std::string& prefix)
    {
        std::vector<std::string> keys;
        for (const auto& [key, value] : m_suite->dictionaryRepresentation()) {
            if (key.rfind(prefix, 0) == 0) {
                keys.push_back(key);
            }
        }
        return keys;
    }

private:
    QTemporaryDir m_stateDir;
    std::unique_ptr<platform::ErrorReporter> m_reporter;
    std::shared_ptr<platform::DefaultsDatabase> m_database;
    std::shared_ptr<platform::UserDefaults> m_suite;
};

} // namespace defaults_test

template <> struct Defaults::RawRepresentable<defaults_test::Placement> {
    using RawValue = std::string;
    static std::string rawValue(defaults_test::Placement value)
    {
        switch (value) {
        case defaults_test::Placement::icon:
            return "icon";
        case defaults_test::Placement::currentSessionDuration:
            return "currentSessionDuration";
        case defaults_test::Placement::totalTodayDuration:
            return "totalTodayDuration";
        }
        return "icon";
    }
    static std::optional<defaults_test::Placement> fromRawValue(const std::string& raw)
    {
        for (auto value : { defaults_test::Placement::icon, defaults_test::Placement::currentSessionDuration,
                 defaults_test::Placement::totalTodayDuration }) {
            if (rawValue(value) == raw) {
                return value;
            }
        }
        return std::nullopt;
    }
};

template <> struct Defaults::NativeType<defaults_test::Placement> {
    using CodableForm = Defaults::RawCodableForm<defaults_test::Placement>;
};
