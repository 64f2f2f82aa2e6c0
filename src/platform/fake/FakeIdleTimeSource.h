#pragma once

#include "platform/desktop/IdleTimeSource.h"

#include <map>
#include <optional>
#include <vector>

namespace platform::fake {

// Idle times set by the test, per event type. Starts with every type at 0 s (the user just did
// everything). Records the questions asked, in order.
class FakeIdleTimeSource final : public IdleTimeSource {
public:
    FakeIdleTimeSource();

    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override { return m_distinguishesEventTypes; }
    // Off: the source says one figure stands for every type, as the Linux backends do, and answers
    // the smallest of the per-type figures for any type.
    void setDistinguishesEventTypes(bool distinguishes) { m_distinguishesEventTypes = distinguishes; }
    // The figure set with setSecondsSinceLastInput(), else the smallest of the per-type figures.
    double secondsSinceLastInput() override;
    std::string name() const override { return "fake"; }

    void setSecondsSinceLastEvent(InputEventType type, double seconds);
    // Every type (and the any-input figure, if one was set) to `seconds`.
    void setAll(double seconds);
    void setSecondsSinceLastInput(double seconds);
    // Time passes with no input: every figure grows by `seconds`.
    void advance(double seconds);
    // An event of `type` happens now: its figure (and the any-input figure) becomes 0.
    void recordEvent(InputEventType type);

    const std::vector<InputEventType>& queries() const { return m_queries; }
    void clearQueries() { m_queries.clear(); }

private:
    std::map<InputEventType, double> m_seconds;
    std::optional<double> m_anyInput;
    std::vector<InputEventType> m_queries;
    bool m_distinguishesEventTypes = true;
};

// Installs a fake as the shared idle-time source for the lifetime of a test.
class ScopedFakeIdleTimeSource {
public:
    ScopedFakeIdleTimeSource() { IdleTimeSource::setShared(&source); }
    ~ScopedFakeIdleTimeSource() { IdleTimeSource::setShared(nullptr); }
    ScopedFakeIdleTimeSource(const ScopedFakeIdleTimeSource&) = delete;
    ScopedFakeIdleTimeSource& operator=(const ScopedFakeIdleTimeSource&) = delete;
    FakeIdleTimeSource source;
};

} // namespace platform::fake
