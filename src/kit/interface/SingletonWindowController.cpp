#include "kit/interface/SingletonWindowController.h"

#include "kit/interface/WindowFade.h"
#include "platform/async/TaskHandle.h"

#include <QCoreApplication>
#include <QEvent>

#include <unordered_map>

namespace zk {

namespace {

using Registry = std::unordered_map<std::type_index, std::unique_ptr<SingletonWindowController>>;

// The controllers go with the application object, while their windows can still be let go; the
// registry itself is never destroyed at the process's exit, which may come without the application
// object ending (Qt's platform plugin calls exit() when the display goes away).
Registry& registry()
{
    static auto* controllers = [] {
        qAddPostRoutine([] { registry().clear(); });
        return new Registry;
    }();
    return *controllers;
}

} // namespace

SingletonWindowController::SingletonWindowController(QWidget* window)
    : m_window(window)
{
    if (m_window) {
        m_window->installEventFilter(this);
    }
}

SingletonWindowController::~SingletonWindowController()
{
    if (m_window) {
        m_window->removeEventFilter(this);
        m_window->deleteLater();
    }
}

std::size_t SingletonWindowController::liveCount()
{
    return registry().size();
}

SingletonWindowController* SingletonWindowController::find(std::type_index type)
{
    const auto found = registry().find(type);
    return found == registry().end() ? nullptr : found->second.get();
}

void SingletonWindowController::insert(
    std::type_index type, std::unique_ptr<SingletonWindowController> controller)
{
    registry()[type] = std::move(controller);
}

void SingletonWindowController::showController(SingletonWindowController& controller, bool animated)
{
    QPointer<QWidget> window = controller.m_window;
    if (!window) {
        return;
    }
    const bool activate = controller.shouldActivateWindowWhenAppIsAccessory;
    platform::async::TaskHandle::start(
        [window, animated, activate](std::stop_token token) -> QCoro::Task<void> {
            co_await showWithFadeIn(
                window, animated, activate, MediaTimingFunction::defaultFunction(), 0.5, 0, token);
        });
}

bool SingletonWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Close && !m_forwardingClose) {
        // The window decides first; only a close it accepts ends the controller.
        m_forwardingClose = true;
        QCoreApplication::sendEvent(m_window, event);
        m_forwardingClose = false;
        if (event->isAccepted()) {
            windowDidClose();
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void SingletonWindowController::windowDidClose()
{
    auto& controllers = registry();
    for (auto entry = controllers.begin(); entry != controllers.end(); ++entry) {
        if (entry->second.get() == this) {
            // We are inside the window's own event handling: both go once it has returned.
            SingletonWindowController* released = entry->second.release();
            controllers.erase(entry);
            released->deleteLater();
            return;
        }
    }
}

} // namespace zk
