#pragma once

#include "app/engine/CurrentSession.h"
#include "app/intents/IntentHandlers.h"
#include "app/intents/SessionEngine.h"
#include "platform/time/Clock.h"

#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

// A session engine whose state the test sets and whose changes it counts. Installs itself as the
// handlers' engine for its lifetime.
class FakeSessionEngine final : public kiruvo::SessionEngine {
public:
    FakeSessionEngine() { kiruvo::SessionEngine::setSharedForTesting(this); }
    ~FakeSessionEngine() override { kiruvo::SessionEngine::setSharedForTesting(nullptr); }
    FakeSessionEngine(const FakeSessionEngine&) = delete;
    FakeSessionEngine& operator=(const FakeSessionEngine&) = delete;

    bool isEnabled() const override { return enabled; }
    void setEnabled(bool value) override
    {
        ++setEnabledCalls;
        enabled = value;
        if (value && !current) {
            current
                = kiruvo::CurrentSession(zk::Duration::fromSeconds(platform::Clock::shared().systemUptime()));
        } else if (!value) {
            current.reset();
        }
    }
    std::optional<kiruvo::CurrentSession> currentSession() const override { return current; }
    void newSession() override
    {
        ++newSessionCalls;
        enabled = true;
        current = kiruvo::CurrentSession(zk::Duration::fromSeconds(platform::Clock::shared().systemUptime()));
    }
    std::vector<kiruvo::Session> allSessions() const override { return sessions; }
    // The test assigns `sessions` at will: every question is a new history.
    platform::Uuid historyKey() const override { return platform::Uuid::random(); }
    bool isHistoryStored() const override { return historyStored; }
    std::optional<zk::Duration> totalDurationForDayAt(platform::Date date) const override
    {
        totalAskedFor.push_back(date);
        return total;
    }

    bool enabled = true;
    bool historyStored = true;
    std::optional<kiruvo::CurrentSession> current;
    std::vector<kiruvo::Session> sessions;
    std::optional<zk::Duration> total;
    int setEnabledCalls = 0;
    int newSessionCalls = 0;
    mutable std::vector<platform::Date> totalAskedFor;
};

// Runs a handler through its asynchronous entry point and waits (briefly, for queued delivery
// only) for its answer. Checks that the entry point returned before answering.
template <class Handler> typename Handler::ResponseT handled(typename Handler::IntentT intent)
{
    std::optional<typename Handler::ResponseT> response;
    int calls = 0;
    Handler::handleAsync(std::move(intent), [&](typename Handler::ResponseT answer) {
        ++calls;
        response = std::move(answer);
    });
    EXPECT_FALSE(response) << "answered before returning";
    EXPECT_TRUE(QTest::qWaitFor([&] { return response.has_value(); }, 2000));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
    return response.value_or(typename Handler::ResponseT());
}
