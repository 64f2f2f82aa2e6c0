#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "app/menubar/MenuBarController.h"
#include "libraries/defaults/Defaults.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeStatusItemBackend.h"
#include "platform/store/UserDefaults.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <memory>

using kiruvo::MenuBarController;
using kiruvo::SessionController;

namespace {

constexpr int storedSessionCount = 4000;

struct Application {
    SessionController engine;
    std::unique_ptr<MenuBarController> menuBar;
    platform::fake::FakeStatusItemBackend* backend = nullptr;
};

Application& application()
{
    static Application* instance = [] {
        auto* created = new Application;
        created->engine.setAllSessions(bench::history(storedSessionCount));
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
    return *instance;
}

// The tick as the application runs it, a second apart within one minute of the running session:
// the idle check, then an update that finds nothing changed and draws nothing.
void runTicks(benchmark::State& state, kiruvo::ShowInMenuBar mode)
{
    Application& app = application();
    Defaults::set(kiruvo::Keys::showInMenuBar(), mode);
    app.menuBar->tick();
    const auto drawn = app.backend->drawn().size();
    for (auto _ : state) {
        app.menuBar->tick();
    }
    if (app.backend->drawn().size() != drawn) {
        state.SkipWithError("the tick drew although nothing changed");
    }
}

} // namespace

static void BM_TickShowingTheRunningSession(benchmark::State& state)
{
    runTicks(state, kiruvo::ShowInMenuBar::currentSessionDuration);
}
BENCHMARK(BM_TickShowingTheRunningSession);

static void BM_TickShowingTodaysTotal(benchmark::State& state)
{
    runTicks(state, kiruvo::ShowInMenuBar::totalTodayDuration);
}
BENCHMARK(BM_TickShowingTodaysTotal);

static void BM_TickShowingTheIcon(benchmark::State& state)
{
    runTicks(state, kiruvo::ShowInMenuBar::icon);
}
BENCHMARK(BM_TickShowingTheIcon);

// Building the status menu, as each opening does.
static void BM_BuildTheMenu(benchmark::State& state)
{
    Application& app = application();
    for (auto _ : state) {
        app.menuBar->updateMenu();
    }
}
BENCHMARK(BM_BuildTheMenu)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    return bench::runWithFakePlatform(argc, argv);
}
