#pragma once

#include "app/intents/IntentResponses.h"
#include "app/intents/Intents.h"
#include "platform/MainQueue.h"
#include "platform/async/TaskHandle.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>

#include <functional>
#include <memory>
#include <stop_token>

namespace kiruvo {

// Answers one scripting request. A handler holds no state and serves one request; the lookup
// (IntentHandlerLookup.h) makes a new one each time.
class IntentHandler {
public:
    using Completion = std::function<void(std::shared_ptr<const IntentResponse>)>;

    virtual ~IntentHandler() = default;

    // Starts handling `intent` on the main thread and returns at once, from any thread. The
    // completion is called exactly once, on the main thread, with the response; with nothing when
    // the intent is not of this handler's class.
    virtual void handle(std::shared_ptr<const Intent> intent, Completion completion) const = 0;
};

// The part every handler shares: the typed entry point that starts a detached task on the main
// thread, awaits Handler::handle(intent) there and completes with its response.
template <class Handler, class IntentType, class ResponseType>
class TypedIntentHandler : public IntentHandler {
public:
    using IntentT = IntentType;
    using ResponseT = ResponseType;
    using TypedCompletion = std::function<void(ResponseType)>;

    void handle(std::shared_ptr<const Intent> intent, Completion completion) const override
    {
        auto typed = std::dynamic_pointer_cast<const IntentType>(intent);
        if (!typed) {
            // The caller waits for an answer whatever happens to the handler.
            platform::MainQueue::post(
                QCoreApplication::instance(), [completion = std::move(completion)] { completion(nullptr); });
            return;
        }
        handleAsync(*typed, [completion = std::move(completion)](ResponseType response) {
            completion(std::make_shared<const ResponseType>(std::move(response)));
        });
    }

    // Returns at once; `completion` runs once, on the main thread, when the answer is ready.
    static void handleAsync(IntentType intent, TypedCompletion completion)
    {
        platform::async::TaskHandle::start([intent = std::move(intent), completion = std::move(completion)](
                                               std::stop_token) -> QCoro::Task<void> {
            const Handler handler;
            ResponseType response = co_await handler.handle(intent);
            completion(std::move(response));
        });
    }
};

// Main-thread only: handle() reads and changes the session engine (SessionEngine::shared()).
class GetEnabledStateIntentHandler final : public TypedIntentHandler<GetEnabledStateIntentHandler,
                                               GetEnabledStateIntent, GetEnabledStateIntentResponse> {
public:
    using TypedIntentHandler::handle;
    QCoro::Task<GetEnabledStateIntentResponse> handle(GetEnabledStateIntent intent) const;
    static void handleGetEnabledState(GetEnabledStateIntent intent, TypedCompletion completion)
    {
        handleAsync(std::move(intent), std::move(completion));
    }
};

// Main-thread only.
class SetEnabledStateIntentHandler final : public TypedIntentHandler<SetEnabledStateIntentHandler,
                                               SetEnabledStateIntent, SetEnabledStateIntentResponse> {
public:
    using TypedIntentHandler::handle;
    // Toggle always assigns the inverted state, with its effects; set assigns only a state that is
    // not yet in force. An unknown operation, or a set to a state outside the enumeration, changes
    // nothing and answers `unspecified`.
    QCoro::Task<SetEnabledStateIntentResponse> handle(SetEnabledStateIntent intent) const;
    static void handleSetEnabledState(SetEnabledStateIntent intent, TypedCompletion completion)
    {
        handleAsync(std::move(intent), std::move(completion));
    }
};

// Main-thread only.
class GetCurrentSessionIntentHandler final : public TypedIntentHandler<GetCurrentSessionIntentHandler,
                                                 GetCurrentSessionIntent, GetCurrentSessionIntentResponse> {
public:
    using TypedIntentHandler::handle;
    // Without a running session the answer is a success with no session object.
    QCoro::Task<GetCurrentSessionIntentResponse> handle(GetCurrentSessionIntent intent) const;
    static void handleGetCurrentSession(GetCurrentSessionIntent intent, TypedCompletion completion)
    {
        handleAsync(std::move(intent), std::move(completion));
    }
};

// Main-thread only.
class NewSessionIntentHandler final
    : public TypedIntentHandler<NewSessionIntentHandler, NewSessionIntent, NewSessionIntentResponse> {
public:
    using TypedIntentHandler::handle;
    QCoro::Task<NewSessionIntentResponse> handle(NewSessionIntent intent) const;
    static void handleNewSession(NewSessionIntent intent, TypedCompletion completion)
    {
        handleAsync(std::move(intent), std::move(completion));
    }
};

// Main-thread only.
class GetSessionsIntentHandler final
    : public TypedIntentHandler<GetSessionsIntentHandler, GetSessionsIntent, GetSessionsIntentResponse> {
public:
    using TypedIntentHandler::handle;
    // Every stored session in stored order; an empty list, never none, for an empty history.
    QCoro::Task<GetSessionsIntentResponse> handle(GetSessionsIntent intent) const;
    static void handleGetSessions(GetSessionsIntent intent, TypedCompletion completion)
    {
        handleAsync(std::move(intent), std::move(completion));
    }
};

// Main-thread only.
class GetTotalDurationTodayIntentHandler final
    : public TypedIntentHandler<GetTotalDurationTodayIntentHandler, GetTotalDurationTodayIntent,
          GetTotalDurationTodayIntentResponse> {
public:
    using TypedIntentHandler::handle;
    // Today's tracked seconds, rounded to the nearest whole second (halves away from zero).
    QCoro::Task<GetTotalDurationTodayIntentResponse> handle(GetTotalDurationTodayIntent intent) const;
    static void handleGetTotalDurationToday(GetTotalDurationTodayIntent intent, TypedCompletion completion)
    {
        handleAsync(std::move(intent), std::move(completion));
    }
};

} // namespace kiruvo
