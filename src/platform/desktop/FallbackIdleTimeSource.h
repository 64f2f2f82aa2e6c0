#pragma once

#include "platform/desktop/IdleTimeSource.h"

#include <memory>
#include <string>
#include <vector>

namespace platform {

// Several idle backends, best first, of which the first that answers now is the one used: when it
// stops answering (the compositor restarts, Mutter leaves the bus) the next one takes over, and
// when a better one is back it takes over again. Every change is logged with the backend now used
// and told as `changed`, so that the engine arms the new one; the one left is disarmed. Events of
// the others are not passed on. With none answering the user's state stays as last told.
//
// While a backend preferred to every one that answers is still asking whether it does (a D-Bus
// service's first reply at start), none is used and the chain is asking too: neither available
// nor known to be missing. Once it knows, it logs which backend it uses and tells `changed`.
//
// Main-thread only.
class FallbackIdleTimeSource final : public IdleTimeSource {
public:
    // `sources` best first; none may be null.
    explicit FallbackIdleTimeSource(std::vector<std::unique_ptr<IdleTimeSource>> sources);
    ~FallbackIdleTimeSource() override;

    Kind kind() const override;
    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override;
    double secondsSinceLastInput() override;
    // The backend used now; "none" when none answers.
    std::string name() const override;
    void armWatches(double thresholdSeconds, std::optional<double> idleSince) override;
    void disarmWatches() override;
    bool isAvailable() const override { return m_active != nullptr; }
    bool isAsking() const override { return m_asking; }

    // The backend used now; nullptr when none answers.
    IdleTimeSource* active() const { return m_active; }

private:
    void memberDidTell(IdleTimeSource* member, const IdleEvent& event);
    // The first backend that answers, unless a better one is still asking.
    IdleTimeSource* firstAvailable() const;
    bool anyPreferredAsking() const;
    void logChoice() const;

    std::vector<std::unique_ptr<IdleTimeSource>> m_sources;
    IdleTimeSource* m_active = nullptr;
    bool m_asking = false;
};

} // namespace platform
