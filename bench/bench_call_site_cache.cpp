#include "PrivateFolders.h"
#include "kit/foundation/core/CallSiteCache.h"

#include <benchmark/benchmark.h>

#include <string>

// A hit is what the status item and the menus pay many times a second for the stored history.
static void BM_MemoizeHit(benchmark::State& state)
{
    const std::string historyKey = "6BA7B811-9DAD-11D1-80B4-00C04FD430C8";
    for (auto _ : state) {
        const int value = zk::memoize({ historyKey }, 60.0, [] { return 42; });
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_MemoizeHit);

// A miss on every call: the computation is cheap, so this is the cost of keying and storing.
static void BM_MemoizeMiss(benchmark::State& state)
{
    for (auto _ : state) {
        const int value = zk::memoize({}, 0.0, [] { return 42; });
        benchmark::DoNotOptimize(value);
    }
    zk::CallSiteCache::timedCache().waitForPendingWrites();
}
BENCHMARK(BM_MemoizeMiss);

KIRUVO_BENCHMARK_MAIN()
