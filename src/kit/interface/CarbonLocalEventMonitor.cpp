#include "kit/interface/CarbonLocalEventMonitor.h"

#include "kit/interface/KeyDescriptions.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace zk {

CarbonLocalEventMonitor::CarbonLocalEventMonitor(
    std::set<EventType> events, bool useGlobalEventDispatcher, Callback callback)
    : m_events(std::move(events))
    , m_useGlobalEventDispatcher(useGlobalEventDispatcher)
    , m_callback(std::move(callback))
{
}

CarbonLocalEventMonitor::~CarbonLocalEventMonitor()
{
    stop();
}

std::vector<CarbonLocalEventMonitor::EventType> CarbonLocalEventMonitor::eventTypeSpecs() const
{
    // std::set orders by the enumeration's raw values.
    return { m_events.begin(), m_events.end() };
}

CarbonLocalEventMonitor& CarbonLocalEventMonitor::start()
{
    if (!m_started && !m_events.empty() && QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
        m_started = true;
    }
    return *this;
}

void CarbonLocalEventMonitor::stop()
{
    if (m_started && QCoreApplication::instance()) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
    m_started = false;
}

std::optional<CarbonLocalEventMonitor::EventType> CarbonLocalEventMonitor::eventType(const QEvent& event)
{
    switch (event.type()) {
    case QEvent::KeyPress: {
        const auto& key = static_cast<const QKeyEvent&>(event);
        if (isModifierKey(key.key())) {
            return EventType::keyModifiersChanged;
        }
        return key.isAutoRepeat() ? EventType::keyRepeat : EventType::keyDown;
    }
    case QEvent::KeyRelease: {
        const auto& key = static_cast<const QKeyEvent&>(event);
        if (isModifierKey(key.key())) {
            return EventType::keyModifiersChanged;
        }
        // A held key repeats as release-press pairs; only the last release is a key-up.
        return key.isAutoRepeat() ? std::nullopt : std::optional(EventType::keyUp);
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return EventType::mouseDown;
    case QEvent::MouseButtonRelease:
        return EventType::mouseUp;
    case QEvent::MouseMove:
        return static_cast<const QMouseEvent&>(event).buttons() == Qt::NoButton ? EventType::mouseMoved
                                                                                : EventType::mouseDragged;
    case QEvent::Enter:
        return EventType::mouseEntered;
    case QEvent::Leave:
        return EventType::mouseExited;
    case QEvent::Wheel:
        // A wheel turns in notches; a touchpad or a smooth-scrolling device scrolls by pixels.
        return static_cast<const QWheelEvent&>(event).pixelDelta().isNull() ? EventType::mouseWheelMoved
                                                                            : EventType::mouseScroll;
    default:
        return std::nullopt;
    }
}

bool CarbonLocalEventMonitor::eventFilter(QObject* receiver, QEvent* event)
{
    // Input reaches its window first and is passed on to the widgets from there; taking it on its
    // way into the window sees each event once and stops it before any widget.
    if (!receiver->isWindowType() || !m_callback) {
        return false;
    }
    const auto type = eventType(*event);
    if (!type || !m_events.contains(*type)) {
        return false;
    }
    return m_callback(event);
}

} // namespace zk
