// 100,000 writes of one setting through Defaults::set on an in-memory store: with nobody observing
// the key, with an observation of another key, and with an observation of the key itself. The
// first two must cost the same: observation costs nothing for a key that nobody observes.
#include "PrivateFolders.h"
#include "libraries/defaults/Defaults.h"
#include "libraries/defaults/Observation.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

namespace {

constexpr std::int64_t writes = 100'000;

enum class Watching { nothing, anotherKey, theKey };

void writeMany(benchmark::State& state, Watching watching)
{
    auto database = platform::DefaultsDatabase::open(":memory:");
    auto suite
        = std::make_shared<platform::UserDefaults>(database, platform::UserDefaults::standardSuiteName);
    Defaults::Key<std::int64_t> key("count", 0, suite);
    Defaults::Key<std::int64_t> other("other", 0, suite);
    std::int64_t heard = 0;
    std::shared_ptr<Defaults::DefaultsObservation> observation;
    if (watching != Watching::nothing) {
        observation = Defaults::observe(watching == Watching::theKey ? key : other, {},
            [&heard](const Defaults::KeyChange<std::int64_t>& change) { heard += change.newValue; });
    }
    std::int64_t value = 0;
    for (auto _ : state) {
        for (std::int64_t i = 0; i < writes; ++i) {
            Defaults::set(key, ++value);
        }
    }
    benchmark::DoNotOptimize(heard);
    state.SetItemsProcessed(state.iterations() * writes);
}

void BM_SetUnobserved(benchmark::State& state)
{
    writeMany(state, Watching::nothing);
}
void BM_SetWithAnotherKeyObserved(benchmark::State& state)
{
    writeMany(state, Watching::anotherKey);
}
void BM_SetObserved(benchmark::State& state)
{
    writeMany(state, Watching::theKey);
}

BENCHMARK(BM_SetUnobserved)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetWithAnotherKeyObserved)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetObserved)->Unit(benchmark::kMillisecond);

} // namespace

KIRUVO_BENCHMARK_MAIN()
