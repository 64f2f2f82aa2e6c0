#include "app/intents/SessionIntentObjectsCache.h"

#include "app/intents/SessionEngine.h"
#include "app/intents/SessionIntentObject.h"
#include "platform/MainQueue.h"
#include "platform/time/Clock.h"
#include "platform/time/TimeZone.h"

#include <QCoreApplication>

#include <cassert>

namespace kiruvo {

SessionIntentObjectsCache& SessionIntentObjectsCache::shared()
{
    static SessionIntentObjectsCache cache;
    return cache;
}

bool SessionIntentObjectsCache::holdsFor(const platform::Uuid& historyKey, platform::Date now) const
{
    return m_objects && m_historyKey == historyKey && m_locale == platform::Locale::current()
        && m_zoneChanges == platform::TimeZone::currentChangeCount() && m_unchangedDuring.lowerBound <= now
        && now < m_unchangedDuring.upperBound;
}

std::shared_ptr<const std::vector<Session_>> SessionIntentObjectsCache::objects(const SessionEngine& engine)
{
    assert(platform::MainQueue::isMainThread());
    const platform::Clock& clock = platform::Clock::shared();
    m_askedAt = clock.systemUptime();
    // Read before the sessions, so that a change in between makes the objects stale, never the key.
    const platform::Uuid historyKey = engine.historyKey();
    if (!holdsFor(historyKey, clock.now())) {
        m_objects.reset();
        SessionIntentObjects made;
        auto objects = std::make_shared<const std::vector<Session_>>(made.make(engine.allSessions()));
        if (const auto unchanged = made.unchangedDuring()) {
            m_objects = objects;
            m_historyKey = historyKey;
            m_locale = platform::Locale::current();
            m_zoneChanges = platform::TimeZone::currentChangeCount();
            m_unchangedDuring = *unchanged;
        }
        forgetWhenUnused();
        return objects;
    }
    return m_objects;
}

void SessionIntentObjectsCache::forgetWhenUnused()
{
    if (!m_objects || m_forgetScheduled || !QCoreApplication::instance()) {
        return;
    }
    m_forgetScheduled = true;
    const double due = m_askedAt + keptFor - platform::Clock::shared().systemUptime();
    platform::MainQueue::asyncAfter(due, QCoreApplication::instance(), [this] {
        m_forgetScheduled = false;
        if (platform::Clock::shared().systemUptime() - m_askedAt >= keptFor) {
            m_objects.reset();
        } else {
            forgetWhenUnused();
        }
    });
}

} // namespace kiruvo
