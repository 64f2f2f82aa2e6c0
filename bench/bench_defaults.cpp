// Writing and reading back a history-sized value through the settings store, on a database file.
#include "libraries/defaults/Defaults.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int sessionCount = 6000;

// One history entry as the session engine stores it: about 120 bytes of JSON text.
struct Entry {
    std::string id;
    double start = 0;
    double end = 0;
    std::string timeZone;
};

void to_json(platform::JsonValue& json, const Entry& entry)
{
    json = platform::JsonValue::object();
    json["id"] = entry.id;
    json["dateRange"] = platform::JsonValue::array({ entry.start, entry.end });
    json["timeZone"] = platform::JsonValue::object({ { "identifier", entry.timeZone } });
}

void from_json(const platform::JsonValue& json, Entry& entry)
{
    entry.id = json.at("id").get<std::string>();
    entry.start = json.at("dateRange").at(0).get<double>();
    entry.end = json.at("dateRange").at(1).get<double>();
    entry.timeZone = json.at("timeZone").at("identifier").get<std::string>();
}

struct Store {
    QTemporaryDir dir;
    std::shared_ptr<platform::UserDefaults> suite;
    Store()
    {
        auto database = platform::DefaultsDatabase::open(dir.filePath("defaults.sqlite3").toStdString());
        suite = std::make_shared<platform::UserDefaults>(database, platform::UserDefaults::standardSuiteName);
    }
};

std::vector<std::string> strings()
{
    std::vector<std::string> values;
    values.reserve(sessionCount);
    for (int i = 0; i < sessionCount; ++i) {
        std::string text = "E621E1F8-C36C-495A-93FC-" + std::to_string(100000000000 + i) + " ";
        text.resize(120, 'x');
        values.push_back(std::move(text));
    }
    return values;
}

std::vector<Entry> entries()
{
    std::vector<Entry> values;
    values.reserve(sessionCount);
    for (int i = 0; i < sessionCount; ++i) {
        values.push_back({ "E621E1F8-C36C-495A-93FC-" + std::to_string(100000000000 + i),
            700000000.0 + i * 3600, 700000000.0 + i * 3600 + 1234.5, "Europe/Amsterdam" });
    }
    return values;
}

void BM_WriteStrings(benchmark::State& state)
{
    Store store;
    Defaults::Key<std::vector<std::string>> key("sessions", {}, store.suite);
    auto values = strings();
    int round = 0;
    for (auto _ : state) {
        values[0][0] = static_cast<char>('a' + (round++ % 26)); // every write changes the value
        Defaults::set(key, values);
    }
}
BENCHMARK(BM_WriteStrings)->Unit(benchmark::kMillisecond);

void BM_ReadStrings(benchmark::State& state)
{
    Store store;
    Defaults::Key<std::vector<std::string>> key("sessions", {}, store.suite);
    Defaults::set(key, strings());
    for (auto _ : state) {
        auto read = Defaults::get(key);
        benchmark::DoNotOptimize(read.data());
    }
}
BENCHMARK(BM_ReadStrings)->Unit(benchmark::kMillisecond);

void BM_WriteHistory(benchmark::State& state)
{
    Store store;
    Defaults::Key<std::vector<Entry>> key("sessions", {}, store.suite);
    auto values = entries();
    int round = 0;
    for (auto _ : state) {
        values[0].end += ++round;
        Defaults::set(key, values);
    }
}
BENCHMARK(BM_WriteHistory)->Unit(benchmark::kMillisecond);

void BM_ReadHistory(benchmark::State& state)
{
    Store store;
    Defaults::Key<std::vector<Entry>> key("sessions", {}, store.suite);
    Defaults::set(key, entries());
    for (auto _ : state) {
        auto read = Defaults::get(key);
        benchmark::DoNotOptimize(read.data());
    }
}
BENCHMARK(BM_ReadHistory)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
