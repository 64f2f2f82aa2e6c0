#pragma once

#include "app/intents/CurrentSession_.h"
#include "app/intents/IntentResponseCodes.h"
#include "app/intents/Session_.h"
#include "app/intents/SetState.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kiruvo {

// What a request hands back to the app that made it, to continue there. Nothing on Linux ever
// carries one; the type keeps the responses' construction in one form.
struct UserActivity {
    bool operator==(const UserActivity&) const = default;
};

// The answer to a scripting request: a code, the response's own properties.
class IntentResponse {
public:
    virtual ~IntentResponse() = default;
    virtual std::int64_t rawCode() const = 0;

    const std::optional<UserActivity>& userActivity() const { return m_userActivity; }
    void setUserActivity(std::optional<UserActivity> activity) { m_userActivity = activity; }

protected:
    IntentResponse() = default;
    IntentResponse(const IntentResponse&) = default;
    IntentResponse& operator=(const IntentResponse&) = default;

private:
    std::optional<UserActivity> m_userActivity;
};

// A response with its code type. A plain response answers `unspecified`.
template <IntentResponseCode CodeType> class TypedIntentResponse : public IntentResponse {
public:
    using Code = CodeType;

    TypedIntentResponse() = default;
    TypedIntentResponse(Code code, std::optional<UserActivity> userActivity)
        : code(code)
    {
        setUserActivity(userActivity);
    }

    std::int64_t rawCode() const override { return rawValue(code); }

    Code code = Code::unspecified;
};

class GetEnabledStateIntentResponse final : public TypedIntentResponse<GetEnabledStateIntentResponseCode> {
public:
    using TypedIntentResponse::TypedIntentResponse;

    std::optional<bool> isEnabled;
};

class SetEnabledStateIntentResponse final : public TypedIntentResponse<SetEnabledStateIntentResponseCode> {
public:
    using TypedIntentResponse::TypedIntentResponse;

    static SetEnabledStateIntentResponse unspecifiedIntentResponseWithState(SetState state)
    {
        return withCodeAndState(Code::unspecified, state);
    }
    static SetEnabledStateIntentResponse readyIntentResponseWithState(SetState state)
    {
        return withCodeAndState(Code::ready, state);
    }
    static SetEnabledStateIntentResponse continueInAppIntentResponseWithState(SetState state)
    {
        return withCodeAndState(Code::continueInApp, state);
    }
    static SetEnabledStateIntentResponse inProgressIntentResponseWithState(SetState state)
    {
        return withCodeAndState(Code::inProgress, state);
    }
    static SetEnabledStateIntentResponse successIntentResponseWithState(SetState state)
    {
        return withCodeAndState(Code::success, state);
    }
    static SetEnabledStateIntentResponse failureRequiringAppLaunchIntentResponseWithState(SetState state)
    {
        return withCodeAndState(Code::failureRequiringAppLaunch, state);
    }

    SetState state = SetState::unknown;

private:
    static SetEnabledStateIntentResponse withCodeAndState(Code code, SetState state)
    {
        SetEnabledStateIntentResponse response(code, std::nullopt);
        response.state = state;
        return response;
    }
};

class GetCurrentSessionIntentResponse final
    : public TypedIntentResponse<GetCurrentSessionIntentResponseCode> {
public:
    using TypedIntentResponse::TypedIntentResponse;

    std::optional<CurrentSession_> currentSession;
};

class NewSessionIntentResponse final : public TypedIntentResponse<NewSessionIntentResponseCode> {
public:
    using TypedIntentResponse::TypedIntentResponse;
};

class GetSessionsIntentResponse final : public TypedIntentResponse<GetSessionsIntentResponseCode> {
public:
    using TypedIntentResponse::TypedIntentResponse;

    std::optional<std::vector<Session_>> sessions;
};

class GetTotalDurationTodayIntentResponse final
    : public TypedIntentResponse<GetTotalDurationTodayIntentResponseCode> {
public:
    using TypedIntentResponse::TypedIntentResponse;

    // Seconds.
    std::optional<double> result;
};

} // namespace kiruvo
