#pragma once

#include <cstdint>
#include <optional>

namespace kiruvo {

// The answer codes of the six scripting intents. Every response has its own code type, all with
// the same seven values; scripts receive the raw value.
enum class GetEnabledStateIntentResponseCode : std::int64_t {
    unspecified = 0,
    ready = 1,
    continueInApp = 2,
    inProgress = 3,
    success = 4,
    failure = 5,
    failureRequiringAppLaunch = 6,
};

enum class SetEnabledStateIntentResponseCode : std::int64_t {
    unspecified = 0,
    ready = 1,
    continueInApp = 2,
    inProgress = 3,
    success = 4,
    failure = 5,
    failureRequiringAppLaunch = 6,
};

enum class GetCurrentSessionIntentResponseCode : std::int64_t {
    unspecified = 0,
    ready = 1,
    continueInApp = 2,
    inProgress = 3,
    success = 4,
    failure = 5,
    failureRequiringAppLaunch = 6,
};

enum class NewSessionIntentResponseCode : std::int64_t {
    unspecified = 0,
    ready = 1,
    continueInApp = 2,
    inProgress = 3,
    success = 4,
    failure = 5,
    failureRequiringAppLaunch = 6,
};

enum class GetSessionsIntentResponseCode : std::int64_t {
    unspecified = 0,
    ready = 1,
    continueInApp = 2,
    inProgress = 3,
    success = 4,
    failure = 5,
    failureRequiringAppLaunch = 6,
};

enum class GetTotalDurationTodayIntentResponseCode : std::int64_t {
    unspecified = 0,
    ready = 1,
    continueInApp = 2,
    inProgress = 3,
    success = 4,
    failure = 5,
    failureRequiringAppLaunch = 6,
};

template <class Code>
concept IntentResponseCode = std::is_same_v<Code, GetEnabledStateIntentResponseCode> || std::is_same_v<Code,
    SetEnabledStateIntentResponseCode> || std::is_same_v<Code, GetCurrentSessionIntentResponseCode> || std::
    is_same_v<Code, NewSessionIntentResponseCode> || std::is_same_v<Code,
        GetSessionsIntentResponseCode> || std::is_same_v<Code, GetTotalDurationTodayIntentResponseCode>;

// The code with the given raw value; nothing outside 0 to 6.
template <IntentResponseCode Code> constexpr std::optional<Code> responseCodeFromRawValue(std::int64_t raw)
{
    if (raw < 0 || raw > 6) {
        return std::nullopt;
    }
    return static_cast<Code>(raw);
}

template <IntentResponseCode Code> constexpr std::int64_t rawValue(Code code)
{
    return static_cast<std::int64_t>(code);
}

} // namespace kiruvo
