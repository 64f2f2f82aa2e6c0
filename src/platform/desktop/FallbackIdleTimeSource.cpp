#include "platform/desktop/FallbackIdleTimeSource.h"

#include "platform/Logger.h"

namespace platform {

FallbackIdleTimeSource::FallbackIdleTimeSource(std::vector<std::unique_ptr<IdleTimeSource>> sources)
    : m_sources(std::move(sources))
{
    for (const auto& source : m_sources) {
        IdleTimeSource* member = source.get();
        member->setEventHandler([this, member](const IdleEvent& event) { memberDidTell(member, event); });
    }
    m_active = firstAvailable();
    m_asking = anyPreferredAsking();
    // The others wait, silent, until they are needed.
    for (const auto& source : m_sources) {
        if (source.get() != m_active && source->isAvailable()) {
            source->disarmWatches();
        }
    }
    if (!m_asking) {
        logChoice();
    }
}

FallbackIdleTimeSource::~FallbackIdleTimeSource()
{
    for (const auto& source : m_sources) {
        source->setEventHandler({});
    }
}

IdleTimeSource* FallbackIdleTimeSource::firstAvailable() const
{
    for (const auto& source : m_sources) {
        if (source->isAvailable()) {
            return source.get();
        }
        if (source->isAsking()) {
            return nullptr;
        }
    }
    return nullptr;
}

bool FallbackIdleTimeSource::anyPreferredAsking() const
{
    for (const auto& source : m_sources) {
        if (source->isAvailable()) {
            return false;
        }
        if (source->isAsking()) {
            return true;
        }
    }
    return false;
}

void FallbackIdleTimeSource::logChoice() const
{
    std::string names;
    for (const auto& source : m_sources) {
        // One that stands for no backend at all is none to wait for.
        if (source->isAvailable() || source->name() != "none") {
            names += (names.empty() ? "" : ", ") + source->name()
                + (source->isAvailable() ? "" : " once it answers");
        }
    }
    log(m_active ? LogLevel::Info : LogLevel::Warning, lcIdle(),
        "Idle time comes from " + name() + " (in order of preference: "
            + (names.empty() ? std::string("none to wait for") : names) + ").");
}

void FallbackIdleTimeSource::memberDidTell(IdleTimeSource* member, const IdleEvent& event)
{
    if (event.type != IdleEvent::Type::changed) {
        if (member == m_active) {
            tell(event);
        }
        return;
    }
    IdleTimeSource* chosen = firstAvailable();
    const bool wasAsking = m_asking;
    m_asking = anyPreferredAsking();
    if (wasAsking && !m_asking) {
        // The answers are in: the first choice, as a chain that never asked makes it at once.
        m_active = chosen;
        logChoice();
        tell(event);
        return;
    }
    if (chosen == m_active) {
        // The backend in use is back after a restart, or another changed that is not used:
        // only the first needs arming again.
        if (member == m_active) {
            tell(event);
        }
        return;
    }
    IdleTimeSource* left = m_active;
    m_active = chosen;
    if (left && left->isAvailable()) {
        left->disarmWatches();
    }
    if (chosen) {
        log(LogLevel::Info, lcIdle(),
            "Idle time now comes from " + chosen->name()
                + (left ? " instead of " + left->name() : std::string(", which answers again")) + ".");
    } else {
        log(LogLevel::Warning, lcIdle(),
            "No idle source answers now (" + left->name()
                + " stopped): the user counts as present or away as last told until one is back.");
    }
    tell(event);
}

IdleTimeSource::Kind FallbackIdleTimeSource::kind() const
{
    // With none answering nothing is told, and the engine keeps what it knows.
    return m_active ? m_active->kind() : Kind::thresholdEvents;
}

double FallbackIdleTimeSource::secondsSinceLastEvent(InputEventType type)
{
    return m_active ? m_active->secondsSinceLastEvent(type) : 0;
}

bool FallbackIdleTimeSource::distinguishesEventTypes() const
{
    return m_active && m_active->distinguishesEventTypes();
}

double FallbackIdleTimeSource::secondsSinceLastInput()
{
    return m_active ? m_active->secondsSinceLastInput() : 0;
}

std::string FallbackIdleTimeSource::name() const
{
    return m_active ? m_active->name() : std::string("none");
}

void FallbackIdleTimeSource::armWatches(double thresholdSeconds, std::optional<double> idleSince)
{
    if (m_active) {
        m_active->armWatches(thresholdSeconds, idleSince);
    }
}

void FallbackIdleTimeSource::disarmWatches()
{
    if (m_active) {
        m_active->disarmWatches();
    }
}

} // namespace platform
