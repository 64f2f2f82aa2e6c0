// The cost of the user-defaults store on the paths the application takes: one setting written
// over and over (with and without an observer of it), and the stored history, a large array of
// strings, written with its commit, read back, and found by the opening of the store.
#include "PrivateFolders.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace platform;

namespace {

constexpr int integerWrites = 100000;

void writeIntegers(benchmark::State& state, bool observed)
{
    for (auto _ : state) {
        state.PauseTiming();
        UserDefaults defaults(DefaultsDatabase::open(":memory:"), "bench");
        std::int64_t heard = 0;
        if (observed) {
            defaults.addObserver("count",
                [&](auto&, auto&, auto& newValue) { heard += *newValue->template getIf<std::int64_t>(); });
        }
        state.ResumeTiming();
        for (int i = 0; i < integerWrites; ++i) {
            defaults.setObject(PropertyList(i), "count");
        }
        benchmark::DoNotOptimize(heard);
    }
    state.counters["writes/s"]
        = benchmark::Counter(static_cast<double>(integerWrites) * static_cast<double>(state.iterations()),
            benchmark::Counter::kIsRate);
}

void BM_WriteIntegerUnobserved(benchmark::State& state)
{
    writeIntegers(state, false);
}
BENCHMARK(BM_WriteIntegerUnobserved)->Unit(benchmark::kMillisecond);

void BM_WriteIntegerObserved(benchmark::State& state)
{
    writeIntegers(state, true);
}
BENCHMARK(BM_WriteIntegerObserved)->Unit(benchmark::kMillisecond);

// About the size of a long history: 6,000 entries of ~120 bytes.
PropertyList history()
{
    PropertyListArray entries;
    entries.reserve(6000);
    for (int i = 0; i < 6000; ++i) {
        std::string entry = "{\"id\":\"E621E1F8-C36C-495A-93FC-" + std::to_string(100000000000 + i)
            + "\",\"dateRange\":[700000000,700000600],\"timeZone\":\"Europe/Berlin\"}";
        entry.resize(120, ' ');
        entries.emplace_back(std::move(entry));
    }
    return PropertyList(std::move(entries));
}

struct FileStore {
    QTemporaryDir folder;
    std::unique_ptr<UserDefaults> defaults;

    FileStore()
        : defaults(std::make_unique<UserDefaults>(
            DefaultsDatabase::open(folder.path().toStdString() + "/defaults.sqlite3"), "bench"))
    {
    }
};

void BM_WriteLargeArrayWithCommit(benchmark::State& state)
{
    FileStore store;
    const PropertyList value = history();
    for (auto _ : state) {
        store.defaults->setObject(value, "sessions");
    }
}
BENCHMARK(BM_WriteLargeArrayWithCommit)->Unit(benchmark::kMillisecond);

void BM_ReadLargeArray(benchmark::State& state)
{
    FileStore store;
    store.defaults->setObject(history(), "sessions");
    for (auto _ : state) {
        auto value = store.defaults->objectForKey("sessions");
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_ReadLargeArray)->Unit(benchmark::kMillisecond);

// Opening the store that holds a long history: what start-up waits for. The history is decoded by
// its first reader (the engine's worker at start-up), which the second benchmark adds.
void openStoreWithHistory(benchmark::State& state, bool readHistory)
{
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/defaults.sqlite3";
    UserDefaults(DefaultsDatabase::open(path), "bench").setObject(history(), "sessions");
    for (auto _ : state) {
        auto database = DefaultsDatabase::open(path);
        if (readHistory) {
            benchmark::DoNotOptimize(database->value("bench", "sessions"));
        }
        state.PauseTiming();
        database.reset();
        state.ResumeTiming();
    }
}

void BM_OpenWithLargeArray(benchmark::State& state)
{
    openStoreWithHistory(state, false);
}
BENCHMARK(BM_OpenWithLargeArray)->Unit(benchmark::kMillisecond);

void BM_OpenAndReadLargeArray(benchmark::State& state)
{
    openStoreWithHistory(state, true);
}
BENCHMARK(BM_OpenAndReadLargeArray)->Unit(benchmark::kMillisecond);

} // namespace

KIRUVO_BENCHMARK_MAIN()
