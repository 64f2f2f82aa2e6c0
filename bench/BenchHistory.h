#pragma once

#include "app/Session.h"
#include "platform/Date.h"
#include "platform/TimeZone.h"
#include "platform/Uuid.h"
#include "platform/fake/FakeClock.h"

#include <vector>

// What the benchmarks share: a fixed "now" on a fake clock, and a history as the engine keeps it.
namespace bench {

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
        const platform::Date start = benchNow.addingTimeInterval(-3600 - i * spacing);
        sessions.push_back(
            *kiruvo::Session::make(platform::Uuid::random(), start, start.addingTimeInterval(1200), zone));
    }
    return sessions;
}

} // namespace bench
