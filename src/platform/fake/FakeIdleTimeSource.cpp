#include "platform/fake/FakeIdleTimeSource.h"

#include <algorithm>
#include <limits>

namespace platform::fake {

FakeIdleTimeSource::FakeIdleTimeSource()
{
    setAll(0);
}

double FakeIdleTimeSource::secondsSinceLastEvent(InputEventType type)
{
    m_queries.push_back(type);
    if (!m_distinguishesEventTypes) {
        double smallest = std::numeric_limits<double>::infinity();
        for (const auto& [each, seconds] : m_seconds) {
            smallest = std::min(smallest, seconds);
        }
        return smallest;
    }
    return m_seconds[type];
}

double FakeIdleTimeSource::secondsSinceLastInput()
{
    if (m_anyInput) {
        return *m_anyInput;
    }
    double smallest = std::numeric_limits<double>::infinity();
    for (const auto& [type, seconds] : m_seconds) {
        smallest = std::min(smallest, seconds);
    }
    return smallest;
}

void FakeIdleTimeSource::setSecondsSinceLastEvent(InputEventType type, double seconds)
{
    m_seconds[type] = seconds;
}

void FakeIdleTimeSource::setAll(double seconds)
{
    for (InputEventType type : userInputEventTypes) {
        m_seconds[type] = seconds;
    }
    if (m_anyInput) {
        m_anyInput = seconds;
    }
}

void FakeIdleTimeSource::setSecondsSinceLastInput(double seconds)
{
    m_anyInput = seconds;
}

void FakeIdleTimeSource::advance(double seconds)
{
    for (auto& [type, value] : m_seconds) {
        value += seconds;
    }
    if (m_anyInput) {
        *m_anyInput += seconds;
    }
}

void FakeIdleTimeSource::recordEvent(InputEventType type)
{
    m_seconds[type] = 0;
    if (m_anyInput) {
        m_anyInput = 0;
    }
}

} // namespace platform::fake
