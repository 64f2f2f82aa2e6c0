#include "app/intents/SessionControllerEngine.h"

#include "app/engine/SessionController.h"

namespace kiruvo {

namespace {

SessionEngine* g_testingEngine = nullptr;

} // namespace

SessionEngine& SessionEngine::shared()
{
    if (g_testingEngine) {
        return *g_testingEngine;
    }
    static SessionControllerEngine engine(SessionController::shared());
    return engine;
}

void SessionEngine::setSharedForTesting(SessionEngine* engine)
{
    g_testingEngine = engine;
}

bool SessionControllerEngine::isEnabled() const
{
    return m_controller.isEnabled();
}

void SessionControllerEngine::setEnabled(bool enabled)
{
    m_controller.setEnabled(enabled);
}

std::optional<CurrentSession> SessionControllerEngine::currentSession() const
{
    return m_controller.currentSession();
}

void SessionControllerEngine::newSession()
{
    m_controller.newSession();
}

std::vector<Session> SessionControllerEngine::allSessions() const
{
    return m_controller.allSessions();
}

platform::Uuid SessionControllerEngine::historyKey() const
{
    // Asking for the list reads what another program committed since, which renews the key.
    m_controller.allSessionsShared();
    return m_controller.allSessionsCacheKey();
}

bool SessionControllerEngine::isHistoryStored() const
{
    return !m_controller.hasUnstoredHistory();
}

std::optional<zk::Duration> SessionControllerEngine::totalDurationForDayAt(platform::Date date) const
{
    return m_controller.totalDurationForDayAt(date);
}

} // namespace kiruvo
