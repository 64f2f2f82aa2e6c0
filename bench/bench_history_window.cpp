#include "app/engine/SessionController.h"
#include "app/windows/HistoryExport.h"
#include "app/windows/HistoryScreen.h"
#include "app/windows/HistoryWindowController.h"
#include "kit/foundation/RunOnce.h"

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <memory>

using kiruvo::SessionController;

namespace {

// The most the application keeps: about 50 sessions a day for 121 days.
constexpr int storedSessionCount = 6000;

SessionController& engine()
{
    static SessionController* instance = [] {
        auto* created = new SessionController;
        created->setAllSessions(bench::history(storedSessionCount));
        // The one-time note would open an alert over the first window.
        zk::runOnce(kiruvo::HistoryScreen::welcomeMessageIdentifier);
        kiruvo::HistoryWindowController::setSessionController(created);
        return created;
    }();
    return *instance;
}

// From the status menu's command to the first paint of the window: the model over the stored
// history, the statistics, the layout and the drawing of the visible rows. Each opening is a new
// second on the clock, so the engine's short-lived memos are as cold as when a user opens it.
void BM_OpenHistoryWindow(benchmark::State& state)
{
    engine();
    for (auto _ : state) {
        bench::fakeClock().advance(1);
        bench::openAndPaintWindow<kiruvo::HistoryWindowController>(state);
    }
    state.counters["sessions"] = storedSessionCount;
}
BENCHMARK(BM_OpenHistoryWindow)->Unit(benchmark::kMillisecond);

void BM_ExportCSV(benchmark::State& state)
{
    const auto sessions = engine().allSessionsShared();
    for (auto _ : state) {
        auto data = kiruvo::HistoryExport::csvData(*sessions);
        benchmark::DoNotOptimize(data.data());
    }
    state.counters["sessions"] = static_cast<double>(sessions->size());
}
BENCHMARK(BM_ExportCSV)->Unit(benchmark::kMillisecond);

void BM_ExportJSON(benchmark::State& state)
{
    const auto sessions = engine().allSessionsShared();
    for (auto _ : state) {
        auto data = kiruvo::HistoryExport::jsonData(*sessions);
        benchmark::DoNotOptimize(data.data());
    }
    state.counters["sessions"] = static_cast<double>(sessions->size());
}
BENCHMARK(BM_ExportJSON)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return bench::runWithFakePlatform(argc, argv);
}
