#include "app/engine/SessionController.h"
#include "app/windows/SettingsWindowController.h"

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// From the status menu's command to the first paint of the window: the four tabs and all their
// rows built and bound to their settings, the layout and the drawing of the first tab. The
// pictures of the 29 icons are left for the icon pop-up to make when it opens.
void BM_OpenSettingsWindow(benchmark::State& state)
{
    static auto* engine = new kiruvo::SessionController;
    kiruvo::SettingsEnvironment environment;
    environment.sessionController = engine;
    kiruvo::SettingsWindowController::setEnvironment(environment);
    for (auto _ : state) {
        bench::openAndPaintWindow<kiruvo::SettingsWindowController>(state);
    }
}
BENCHMARK(BM_OpenSettingsWindow)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The window reads the scripts folder and the autostart entry: the private ones of
    // runWithFakePlatform(), never the user's own.
    return bench::runWithFakePlatform(argc, argv);
}
