#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "platform/store/UserDefaults.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <memory>

using kiruvo::SessionController;
using platform::Date;

namespace {

// One engine for every benchmark, with a running session and the history the benchmark asks for.
SessionController& engine(int storedSessionCount)
{
    static SessionController* instance = [] {
        auto* controller = new SessionController();
        controller->start();
        bench::fakeClock().advance(600);
        return controller;
    }();
    bench::useHistory(*instance, storedSessionCount);
    return *instance;
}

} // namespace

// What the one-second tick asks of the engine: the idle check and today's total, a second apart
// as in the running application, so the running session grows between two ticks.
static void BM_Tick(benchmark::State& state)
{
    SessionController& controller = engine(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        bench::fakeClock().advance(1);
        controller.checkIdle();
        auto total = controller.totalDurationForDayAt(bench::fakeClock().now());
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_Tick)->Arg(6000)->Arg(100000)->Repetitions(5)->ReportAggregatesOnly(true);

// Reading the stored history after a change made elsewhere: every entry decoded from its text.
static void BM_AllSessionsAfterAChange(benchmark::State& state)
{
    SessionController& controller = engine(static_cast<int>(state.range(0)));
    const auto stored = platform::UserDefaults::standard()->objectForKey("sessions");
    for (auto _ : state) {
        state.PauseTiming();
        platform::UserDefaults::standard()->setObject(stored, "sessions"); // a write from elsewhere
        state.ResumeTiming();
        auto sessions = controller.allSessionsShared();
        benchmark::DoNotOptimize(sessions);
    }
}
BENCHMARK(BM_AllSessionsAfterAChange)->Arg(6000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The History window's all-time average: 125 day totals over the whole history, the first time
// after a change of the history.
static void BM_DailyTotals125DaysAfterAChange(benchmark::State& state)
{
    SessionController& controller = engine(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        controller.setAllSessions(controller.allSessions());
        const auto calendar = platform::Calendar::current();
        std::vector<Date> days;
        for (int offset = -124; offset <= 0; ++offset) {
            days.push_back(*calendar.dateByAddingDays(offset, bench::fakeClock().now()));
        }
        state.ResumeTiming();
        auto totals = controller.dailyTotals(days);
        benchmark::DoNotOptimize(totals);
    }
}
BENCHMARK(BM_DailyTotals125DaysAfterAChange)->Arg(6000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return bench::runWithFakePlatform(argc, argv);
}
