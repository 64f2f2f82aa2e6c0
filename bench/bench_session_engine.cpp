#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "kit/foundation/core/CallSiteCache.h"
#include "platform/fake/FakeClock.h"
#include "platform/store/UserDefaults.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <memory>

using kiruvo::SessionController;
using platform::Date;

namespace {

constexpr int storedSessionCount = 6000;

SessionController& engine()
{
    static SessionController* instance = [] {
        auto* controller = new SessionController();
        controller->setAllSessions(bench::history(storedSessionCount));
        controller->start();
        bench::fakeClock().advance(600);
        return controller;
    }();
    return *instance;
}

} // namespace

// What the one-second tick asks: the idle check and today's total, with the memo warm.
static void BM_Tick(benchmark::State& state)
{
    SessionController& controller = engine();
    controller.checkIdle();
    controller.totalDurationForDayAt(bench::fakeClock().now());
    for (auto _ : state) {
        controller.checkIdle();
        auto total = controller.totalDurationForDayAt(bench::fakeClock().now());
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_Tick);

// Reading the stored history with nothing memoised: every entry decoded from its text.
static void BM_AllSessionsCold(benchmark::State& state)
{
    SessionController& controller = engine();
    for (auto _ : state) {
        state.PauseTiming();
        zk::CallSiteCache::resetForTesting();
        platform::UserDefaults::standard()->setObject(
            platform::UserDefaults::standard()->objectForKey("sessions"), "sessions"); // renews the key
        state.ResumeTiming();
        auto sessions = controller.allSessionsShared();
        benchmark::DoNotOptimize(sessions);
    }
}
BENCHMARK(BM_AllSessionsCold)->Unit(benchmark::kMillisecond);

// The History window's all-time average: 125 day totals over the whole history, memo cold for the
// days but with the decoded history memoised.
static void BM_DailyTotals125Days(benchmark::State& state)
{
    SessionController& controller = engine();
    const auto calendar = platform::Calendar::current();
    std::vector<Date> days;
    for (int offset = -124; offset <= 0; ++offset) {
        days.push_back(*calendar.dateByAddingDays(offset, bench::fakeClock().now()));
    }
    double shift = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A new second: none of the days' entries is memoised any more.
        shift += 1;
        std::vector<Date> asked;
        for (auto day : days) {
            asked.push_back(day.addingTimeInterval(shift));
        }
        controller.allSessionsShared();
        state.ResumeTiming();
        auto totals = controller.dailyTotals(asked);
        benchmark::DoNotOptimize(totals);
    }
}
BENCHMARK(BM_DailyTotals125Days)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return bench::runWithFakePlatform(argc, argv);
}
