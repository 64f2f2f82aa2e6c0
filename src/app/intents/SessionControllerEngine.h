#pragma once

#include "app/intents/SessionEngine.h"

namespace kiruvo {

class SessionController;

// The scripting handlers' view of a SessionController. Main-thread only.
class SessionControllerEngine final : public SessionEngine {
public:
    explicit SessionControllerEngine(SessionController& controller)
        : m_controller(controller)
    {
    }

    bool isEnabled() const override;
    void setEnabled(bool enabled) override;
    std::optional<CurrentSession> currentSession() const override;
    void newSession() override;
    std::vector<Session> allSessions() const override;
    platform::Uuid historyKey() const override;
    bool isHistoryStored() const override;
    std::optional<zk::Duration> totalDurationForDayAt(platform::Date date) const override;

private:
    SessionController& m_controller;
};

} // namespace kiruvo
