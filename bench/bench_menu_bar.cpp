#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "app/menubar/MenuBarController.h"
#include "libraries/defaults/Defaults.h"
#include "platform/fake/FakeStatusItemBackend.h"
#include "platform/store/UserDefaults.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <memory>

using kiruvo::MenuBarController;
using kiruvo::SessionController;

namespace {

struct Application {
    SessionController engine;
    std::unique_ptr<MenuBarController> menuBar;
    platform::fake::FakeStatusItemBackend* backend = nullptr;
};

// The application with a running session and a history of `storedSessionCount` sessions.
Application& application(int storedSessionCount)
{
    static Application* instance = [] {
        auto* created = new Application;
        MenuBarController::Environment environment;
        environment.sessionController = &created->engine;
        environment.makeStatusItemBackend = [created] {
            auto backend = std::make_unique<platform::fake::FakeStatusItemBackend>();
            created->backend = backend.get();
            return backend;
        };
        created->menuBar = std::make_unique<MenuBarController>(std::move(environment));
        created->engine.setEnabled(true);
        bench::fakeClock().advance(600);
        return created;
    }();
    bench::useHistory(instance->engine, storedSessionCount);
    return *instance;
}

// The engine's idle check and the status item's update, one second of the fake clock apart: what
// the two timers cost when they fire. The update draws only when the shown minute changes (once in
// sixty), and the application runs them only at the moments they armed themselves for.
void runTicks(benchmark::State& state, kiruvo::ShowInMenuBar mode)
{
    Application& app = application(static_cast<int>(state.range(0)));
    Defaults::set(kiruvo::Keys::showInMenuBar(), mode);
    const auto tick = [&app] {
        app.engine.checkIdle();
        app.menuBar->update();
    };
    tick();
    for (auto _ : state) {
        bench::fakeClock().advance(1);
        tick();
    }
}

} // namespace

static void BM_TickShowingTheRunningSession(benchmark::State& state)
{
    runTicks(state, kiruvo::ShowInMenuBar::currentSessionDuration);
}
BENCHMARK(BM_TickShowingTheRunningSession)
    ->Arg(6000)
    ->Arg(100000)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

static void BM_TickShowingTodaysTotal(benchmark::State& state)
{
    runTicks(state, kiruvo::ShowInMenuBar::totalTodayDuration);
}
BENCHMARK(BM_TickShowingTodaysTotal)->Arg(6000)->Arg(100000)->Repetitions(5)->ReportAggregatesOnly(true);

static void BM_TickShowingTheIcon(benchmark::State& state)
{
    runTicks(state, kiruvo::ShowInMenuBar::icon);
}
BENCHMARK(BM_TickShowingTheIcon)->Arg(6000)->Arg(100000)->Repetitions(5)->ReportAggregatesOnly(true);

// Building the status menu, as each opening does.
static void BM_BuildTheMenu(benchmark::State& state)
{
    Application& app = application(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        bench::fakeClock().advance(1);
        app.menuBar->updateMenu();
    }
}
BENCHMARK(BM_BuildTheMenu)->Arg(6000)->Arg(100000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    return bench::runWithFakePlatform(argc, argv);
}
