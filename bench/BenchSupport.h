#pragma once

#include "app/engine/Session.h"
#include "app/engine/SessionController.h"
#include "platform/ErrorReporter.h"
#include "platform/Uuid.h"
#include "platform/desktop/IdleTimeSource.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeIdleTimeSource.h"
#include "platform/fake/FakeSystemEvents.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"
#include "platform/time/Date.h"
#include "platform/time/Locale.h"
#include "platform/time/TimeZone.h"

#include "kit/interface/SingletonWindowController.h"

#include "PrivateFolders.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

// What the benchmarks share: a fake clock that starts at a fixed "now" (benchmarks of the tick move
// it one second per iteration, as the running application's clock moves between two ticks), a
// history as the engine keeps it, and a main that runs them over the fake platform.
namespace bench {

// One timed opening of a single-instance window: shown and painted once; closing and freeing it is
// left out of the time.
template <class Controller> void openAndPaintWindow(benchmark::State& state)
{
    QWidget* window = zk::SingletonWindowController::shared<Controller>().window();
    window->show();
    QImage image(window->size(), QImage::Format_ARGB32_Premultiplied);
    window->render(&image);
    benchmark::DoNotOptimize(image.bits());
    state.PauseTiming();
    window->close();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state.ResumeTiming();
}

inline const platform::Date benchNow(737000000); // 2024-05-08

inline platform::fake::FakeClock& fakeClock()
{
    static platform::fake::FakeClock fake(benchNow, 100000);
    return fake;
}

// `count` sessions of 20 minutes over the last 120 days, newest first.
inline std::vector<kiruvo::Session> history(int count)
{
    const auto zone = *platform::TimeZone::withIdentifier("Europe/Oslo");
    std::vector<kiruvo::Session> sessions;
    sessions.reserve(count);
    const double spacing = 120.0 * 86400 / count;
    for (int i = 0; i < count; ++i) {
        const platform::Date start = fakeClock().now().addingTimeInterval(-3600 - i * spacing);
        sessions.push_back(
            *kiruvo::Session::make(platform::Uuid::random(), start, start.addingTimeInterval(1200), zone));
    }
    return sessions;
}

// Gives `engine` a history of `count` sessions, unless it holds that many already.
inline void useHistory(kiruvo::SessionController& engine, int count)
{
    if (engine.allSessionsShared()->size() != static_cast<std::size_t>(count)) {
        engine.setAllSessions(history(count));
    }
}

// Runs the registered benchmarks with an offscreen Qt, private XDG folders, a store in memory, Oslo
// time, English, the fake clock, idle time and system events; returns the exit status.
inline int runWithFakePlatform(int argc, char** argv)
{
    PrivateFolders folders;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication qtApplication(argc, argv);
    QTemporaryDir reports;
    platform::ErrorReporter reporter(reports.path().toStdString());
    platform::ErrorReporter::setShared(&reporter);
    platform::UserDefaults::setStandard(std::make_shared<platform::UserDefaults>(
        platform::DefaultsDatabase::open(":memory:"), platform::UserDefaults::standardSuiteName));
    platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier("Europe/Oslo"));
    platform::Locale::setCurrentForTesting(platform::Locale("en_US"));
    platform::Clock::setShared(&fakeClock());
    platform::fake::FakeIdleTimeSource idle;
    // One figure for every input type, as the desktop's idle services give.
    idle.setDistinguishesEventTypes(false);
    platform::IdleTimeSource::setShared(&idle);
    platform::fake::FakeSystemEvents events;

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    platform::IdleTimeSource::setShared(nullptr);
    platform::Clock::setShared(nullptr);
    platform::ErrorReporter::setShared(nullptr);
    return 0;
}

} // namespace bench
