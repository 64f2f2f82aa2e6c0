#include "app/intents/IntentHandlers.h"

#include "app/engine/SharedFormatters.h"
#include "app/intents/SessionEngine.h"
#include "app/intents/SessionIntentObjectsCache.h"
#include "platform/MainQueue.h"
#include "platform/time/Calendar.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <cassert>
#include <cmath>
#include <string>

namespace kiruvo {

namespace {

std::string durationText(platform::Date start, platform::Date end)
{
    return SharedFormatters::hoursMinutesStandalone(start, end)
        .value_or(std::string(SharedFormatters::missingText));
}

} // namespace

QCoro::Task<GetEnabledStateIntentResponse> GetEnabledStateIntentHandler::handle(GetEnabledStateIntent) const
{
    assert(platform::MainQueue::isMainThread());
    GetEnabledStateIntentResponse response(GetEnabledStateIntentResponseCode::success, std::nullopt);
    response.isEnabled = SessionEngine::shared().isEnabled();
    co_return response;
}

QCoro::Task<SetEnabledStateIntentResponse> SetEnabledStateIntentHandler::handle(
    SetEnabledStateIntent intent) const
{
    assert(platform::MainQueue::isMainThread());
    using Code = SetEnabledStateIntentResponseCode;
    SessionEngine& engine = SessionEngine::shared();
    Code code = Code::unspecified;
    switch (intent.operation) {
    case SetOperation::unknown:
        break;
    case SetOperation::toggle:
        // The state plays no part in a toggle, but one that no script can name still marks a
        // request that was not meant as it reads.
        if (setStateFromRawValue(rawValue(intent.state))) {
            engine.setEnabled(!engine.isEnabled());
            code = Code::success;
        }
        break;
    case SetOperation::set:
        // Only "enabled" and "disabled" name a state to put in force: an unknown or unnamed state
        // changes nothing, so a typo in a script never switches tracking off.
        if (intent.state == SetState::enabled || intent.state == SetState::disabled) {
            const bool wanted = intent.state == SetState::enabled;
            if (wanted != engine.isEnabled()) {
                engine.setEnabled(wanted);
            }
            code = Code::success;
        }
        break;
    }
    // Turning tracking off ends the running session; a script must not hear success while it
    // is not stored.
    if (code == Code::success && !engine.isHistoryStored()) {
        code = Code::failure;
    }
    co_return SetEnabledStateIntentResponse(code, std::nullopt);
}

QCoro::Task<GetCurrentSessionIntentResponse> GetCurrentSessionIntentHandler::handle(
    GetCurrentSessionIntent) const
{
    assert(platform::MainQueue::isMainThread());
    GetCurrentSessionIntentResponse response(GetCurrentSessionIntentResponseCode::success, std::nullopt);
    const auto current = SessionEngine::shared().currentSession();
    if (current) {
        const platform::DateRange range = current->dateRange();
        CurrentSession_ object("currentSession", durationText(range.lowerBound, range.upperBound),
            "Started at " + SharedFormatters::shortTime(range.lowerBound), std::nullopt);
        object.duration = platform::Clock::shared().systemUptime() - current->start().seconds;
        object.startDate = platform::Calendar::current().dateComponents(range.lowerBound);
        response.currentSession = std::move(object);
    }
    co_return response;
}

QCoro::Task<NewSessionIntentResponse> NewSessionIntentHandler::handle(NewSessionIntent) const
{
    assert(platform::MainQueue::isMainThread());
    SessionEngine& engine = SessionEngine::shared();
    engine.newSession();
    // The session that ended must be stored before the request counts as done.
    co_return NewSessionIntentResponse(engine.isHistoryStored() ? NewSessionIntentResponseCode::success
                                                                : NewSessionIntentResponseCode::failure,
        std::nullopt);
}

QCoro::Task<GetSessionsIntentResponse> GetSessionsIntentHandler::handle(GetSessionsIntent) const
{
    assert(platform::MainQueue::isMainThread());
    GetSessionsIntentResponse response(GetSessionsIntentResponseCode::success, std::nullopt);
    response.sessions = *SessionIntentObjectsCache::shared().objects(SessionEngine::shared());
    co_return response;
}

QCoro::Task<GetTotalDurationTodayIntentResponse> GetTotalDurationTodayIntentHandler::handle(
    GetTotalDurationTodayIntent) const
{
    assert(platform::MainQueue::isMainThread());
    GetTotalDurationTodayIntentResponse response(
        GetTotalDurationTodayIntentResponseCode::success, std::nullopt);
    const auto total = SessionEngine::shared().totalDurationForDayAt(platform::Clock::shared().now());
    response.result = std::round(total ? total->seconds : 0.0);
    co_return response;
}

} // namespace kiruvo
