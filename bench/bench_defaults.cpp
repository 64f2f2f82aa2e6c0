// Writing and reading back a history-sized value through the settings store, on a database file.
#include "PrivateFolders.h"
#include "libraries/defaults/Defaults.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/JsonWriter.h"
#include "platform/store/UserDefaults.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

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
    std::string path() const { return dir.filePath("defaults.sqlite3").toStdString(); }
    Store()
    {
        auto database = platform::DefaultsDatabase::open(path());
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

// The process's resident memory, in bytes.
double residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// A history written over and over while another connection holds the file for writing: every
// write goes to the pending file, whose size (and the memory kept with it) must stay that of one
// history, however many writes the lock lasts.
void BM_WriteHistoryDuringALock(benchmark::State& state)
{
    Store store;
    Defaults::Key<std::vector<Entry>> key("sessions", {}, store.suite);
    auto values = entries();
    Defaults::set(key, values);
    sqlite3* other = nullptr;
    sqlite3_open(store.path().c_str(), &other);
    sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    const double before = residentBytes();
    int round = 0;
    for (auto _ : state) {
        values[0].end += ++round;
        Defaults::set(key, values);
    }
    std::error_code error;
    state.counters["pending_MB"]
        = static_cast<double>(std::filesystem::file_size(store.path() + ".pending", error)) / 1e6;
    state.counters["resident_growth_MB"] = (residentBytes() - before) / 1e6;
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}
BENCHMARK(BM_WriteHistoryDuringALock)->Unit(benchmark::kMillisecond)->Iterations(200);

// What one commit of another program's costs the store once its watch wakes it: the look at the
// file's version, every row read again, the changed setting decoded and told to its listener, with
// a history of 6000 sessions and twenty settings beside it. With range 0 nobody commits: the cost
// of a wake-up by one of the store's own writes. With range 2 the history has a listener, as the
// application's has: its row is read again and compared.
void BM_CatchUpWithAnotherProgramsCommit(benchmark::State& state)
{
    Store store;
    Defaults::Key<std::vector<Entry>> key("sessions", {}, store.suite);
    Defaults::set(key, entries());
    for (int index = 0; index < 20; ++index) {
        store.suite->setObject(platform::PropertyList("value"), "setting" + std::to_string(index));
    }
    auto database = platform::DefaultsDatabase::open(store.path());
    int heard = 0;
    database->addListener(platform::UserDefaults::standardSuiteName, "setting0",
        [&](const std::string&, const platform::StoredValue&, const platform::StoredValue&) { ++heard; });
    if (state.range(0) == 2) {
        database->addListener(platform::UserDefaults::standardSuiteName, "sessions",
            [&](const std::string&, const platform::StoredValue&, const platform::StoredValue&) { ++heard; });
    }
    sqlite3* other = nullptr;
    sqlite3_open(store.path().c_str(), &other);
    const bool commits = state.range(0) != 0;
    int round = 0;
    for (auto _ : state) {
        if (commits) {
            state.PauseTiming();
            const std::string sql
                = "UPDATE defaults SET value = '\"" + std::to_string(++round) + "\"' WHERE key = 'setting0'";
            sqlite3_exec(other, sql.c_str(), nullptr, nullptr, nullptr);
            state.ResumeTiming();
        }
        database->catchUpAll();
    }
    state.counters["heard"] = heard;
    sqlite3_close(other);
}
BENCHMARK(BM_CatchUpWithAnotherProgramsCommit)->Arg(1)->Arg(2)->Arg(0)->Unit(benchmark::kMicrosecond);

// The process's peak resident memory since the last resetPeak(), in bytes.
double peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6)) * 1024;
        }
    }
    return 0;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// One commit of another program's to a small setting beside a 50 MB value, once the store's watch
// wakes it, and a reader's question about the key holding that value before that. Range 0: the value
// lies under a key nothing reads; range 1: under a key that has a listener and whose readers ask
// the store to catch up before they answer, as the history's do.
void BM_CatchUpBesideA50MBValue(benchmark::State& state)
{
    Store store;
    for (int index = 0; index < 20; ++index) {
        store.suite->setObject(platform::PropertyList("value"), "setting" + std::to_string(index));
    }
    sqlite3* other = nullptr;
    sqlite3_open(store.path().c_str(), &other);
    const bool own = state.range(0) != 0;
    const std::string large = own ? "history" : "left by another program";
    const std::string insert = "INSERT INTO defaults VALUES('"
        + std::string(platform::UserDefaults::standardSuiteName) + "', '" + large
        + "', '\"' || replace(hex(zeroblob(25000000)), '0', 'x') || '\"')";
    sqlite3_exec(other, insert.c_str(), nullptr, nullptr, nullptr);
    auto database = platform::DefaultsDatabase::open(store.path());
    int heard = 0;
    database->addListener(platform::UserDefaults::standardSuiteName, "setting0",
        [&](const std::string&, const platform::StoredValue&, const platform::StoredValue&) { ++heard; });
    if (own) {
        database->addListener(platform::UserDefaults::standardSuiteName, large,
            [&](const std::string&, const platform::StoredValue&, const platform::StoredValue&) { ++heard; });
    }
    int round = 0;
    const auto commit = [&] {
        const std::string sql
            = "UPDATE defaults SET value = '\"" + std::to_string(++round) + "\"' WHERE key = 'setting0'";
        sqlite3_exec(other, sql.c_str(), nullptr, nullptr, nullptr);
    };
    // The question comes before the watch's wake-up, as a scripting call may.
    const auto catchUp = [&] {
        if (own) {
            database->catchUp(platform::UserDefaults::standardSuiteName, large);
        }
        database->catchUpAll();
    };
    // The first question decodes the value read at open, once: not the cost of a commit.
    commit();
    catchUp();
    heard = 0;
    const double before = residentBytes();
    resetPeak();
    for (auto _ : state) {
        state.PauseTiming();
        commit();
        state.ResumeTiming();
        catchUp();
    }
    state.counters["heard"] = heard;
    state.counters["peak_growth_MB"] = (peakResidentBytes() - before) / 1e6;
    sqlite3_close(other);
}
BENCHMARK(BM_CatchUpBesideA50MBValue)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// This process's counters of /proc/self/io: bytes handed to write() and bytes sent to the disk.
struct WrittenBytes {
    double written = 0;
    double toDisk = 0;
};

WrittenBytes writtenBytes()
{
    std::ifstream io("/proc/self/io");
    WrittenBytes bytes;
    std::string name;
    double value = 0;
    while (io >> name >> value) {
        if (name == "wchar:") {
            bytes.written = value;
        } else if (name == "write_bytes:") {
            bytes.toDisk = value;
        }
    }
    return bytes;
}

// What one stop writes with a history of 18,150 sessions: the history with one session more put in
// over the list it was read as, then the file synchronised, as the session engine stores it.
void BM_StopWithA18150SessionHistory(benchmark::State& state)
{
    Store store;
    platform::PropertyListArray sessions;
    const auto session = [](int index) {
        return "{\"id\":\"E621E1F8-C36C-495A-93FC-" + std::to_string(100000000000 + index)
            + "\",\"dateRange\":[" + std::to_string(700000000 + index * 3600) + ","
            + std::to_string(700000000 + index * 3600 + 1234)
            + "],\"timeZone\":{\"identifier\":\"Europe\\/Amsterdam\"}}";
    };
    for (int index = 0; index < 18150; ++index) {
        sessions.emplace_back(session(index));
    }
    // As the history's: what another program changed meanwhile is joined in.
    store.suite->setJoin("sessions",
        [](const platform::PropertyList&, const platform::PropertyList& written,
            const platform::PropertyList*) { return std::optional<platform::PropertyList>(written); });
    auto base = std::make_shared<const platform::PropertyList>(sessions);
    store.suite->setObject(*base, "sessions");
    store.suite->synchronize();
    int next = 18150;
    WrittenBytes total;
    for (auto _ : state) {
        sessions.erase(sessions.begin());
        sessions.emplace_back(session(next++));
        auto list = std::make_shared<const platform::PropertyList>(sessions);
        const WrittenBytes before = writtenBytes();
        store.suite->setObject(*list, "sessions", base);
        store.suite->synchronize();
        const WrittenBytes after = writtenBytes();
        total.written += after.written - before.written;
        total.toDisk += after.toDisk - before.toDisk;
        base = std::move(list);
    }
    const double stops = static_cast<double>(state.iterations());
    state.counters["written_MB_per_stop"] = total.written / stops / 1e6;
    state.counters["to_disk_MB_per_stop"] = total.toDisk / stops / 1e6;
}
BENCHMARK(BM_StopWithA18150SessionHistory)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

KIRUVO_BENCHMARK_MAIN()
