#include "app/reminders/ReminderDelivery.h"

#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "app/engine/SharedFormatters.h"
#include "app/reminders/HapticFeedback.h"
#include "app/reminders/HeadsUpWindow.h"
#include "app/reminders/ShortcutsApp.h"
#include "app/reminders/SystemNotificationReminder.h"
#include "app/reminders/SystemSoundPlayer.h"
#include "kit/interface/Tooltip.h"
#include "platform/Logger.h"
#include "platform/async/Sleep.h"
#include "platform/desktop/StatusItem.h"

#include <QMargins>
#include <QString>

#include <algorithm>
#include <exception>
#include <utility>

namespace kiruvo {

namespace {

void logFailure(std::string_view step, std::string_view what)
{
    platform::log(platform::LogLevel::Warning, platform::lcReminders(),
        "Reminder step \"" + std::string(step) + "\" failed: " + std::string(what));
}

// Runs one step of a reminder; a failing step is logged and the reminder goes on without it.
template <class F> void guarded(std::string_view step, F&& body)
{
    try {
        body();
    } catch (const std::exception& error) {
        logFailure(step, error.what());
    } catch (...) {
        logFailure(step, "unknown error");
    }
}

QCoro::Task<void> runShortcutWithoutInput(platform::Uuid id)
{
    co_await ShortcutsApp::runShortcut(id, std::nullopt);
}

} // namespace

ReminderDelivery::ReminderDelivery(
    SessionController& controller, platform::combine::Scheduler& scheduler, Services services)
    : m_controller(&controller)
    , m_scheduler(&scheduler)
    , m_services(std::move(services))
{
    if (!m_services.playSound) {
        m_services.playSound = [](zk::MacSystemSound sound) { playSystemSound(sound); };
    }
    if (!m_services.runShortcut) {
        m_services.runShortcut = runShortcutWithoutInput;
    }
    if (!m_services.showSystemNotification) {
        m_notificationReminder = std::make_shared<SystemNotificationReminder>();
        connect(m_notificationReminder.get(), &SystemNotificationReminder::settingsWindowRequested, this,
            &ReminderDelivery::notificationSettingsRequested);
        // The task that runs the returned coroutine keeps this function, and with it the reminder,
        // until the coroutine has ended.
        m_services.showSystemNotification
            = [reminder = m_notificationReminder](std::string title, std::stop_token token) {
                  return reminder->show(std::move(title), std::move(token));
              };
    }
    if (!m_services.showHeadsUp) {
        m_services.showHeadsUp = [](zk::Duration duration) { HeadsUpWindow::showOnAllScreens(duration); };
    }
    if (!m_services.closeHeadsUp) {
        m_services.closeHeadsUp = [] { HeadsUpWindow::closeAll(); };
    }
}

ReminderDelivery::~ReminderDelivery()
{
    m_road.cancel();
    for (const auto& task : m_hapticTasks) {
        task.cancel();
    }
    delete m_popover.data();
}

ReminderDelivery& ReminderDelivery::shared()
{
    static auto* delivery = new ReminderDelivery(SessionController::shared());
    return *delivery;
}

void ReminderDelivery::install()
{
    shared().attach();
}

void ReminderDelivery::attach()
{
    m_controller->reminderSeam().install([self = QPointer(this)](zk::Duration duration) {
        if (self) {
            self->notify(duration);
        }
    });
}

void ReminderDelivery::setStatusItem(platform::StatusItem* statusItem)
{
    m_statusItem = statusItem;
}

std::string ReminderDelivery::reminderMessage(zk::Duration duration)
{
    return "You have been active for " + SharedFormatters::hoursMinutesInSentenceText(duration);
}

void ReminderDelivery::setShowing(bool showing)
{
    m_controller->setShowingNotification(showing);
    guarded("update the status item", [&] { Q_EMIT showingChanged(showing); });
}

// --- The road of one reminder

void ReminderDelivery::notify(zk::Duration duration)
{
    // The older reminder winds down on its own and leaves the tint to this one.
    m_road.cancel();
    const auto number = ++m_roadNumber;
    setShowing(true);

    auto type = NotificationType::popover;
    guarded("read the reminder type", [&] { type = Defaults::get(Keys::notificationType()); });
    const auto road = type == NotificationType::hud ? Road::headsUp : Road::shaken;
    if (road == Road::headsUp) {
        performSideEffects();
        showHeadsUp(duration);
    }
    m_road = platform::async::TaskHandle::start(
        [this, self = QPointer(this), road, number, duration](
            std::stop_token token) { return runRoad(&self, road, number, duration, std::move(token)); });
}

QCoro::Task<void> ReminderDelivery::runRoad(
    const Guard* self, Road road, std::uint64_t number, zk::Duration duration, std::stop_token token)
{
    try {
        if (road == Road::headsUp) {
            co_await headsUpRoad(self, token);
        } else {
            co_await shakenRoad(self, duration, token);
        }
    } catch (const std::exception& error) {
        if (*self) {
            logFailure("show the reminder", error.what());
        }
    } catch (...) {
        if (*self) {
            logFailure("show the reminder", "unknown error");
        }
    }
    // Only the latest reminder ends the tint: an older one that was taken over must not clear it
    // under the newer one.
    if (*self && number == m_roadNumber) {
        setShowing(false);
    }
}

QCoro::Task<void> ReminderDelivery::shakenRoad(
    const Guard* self, zk::Duration duration, std::stop_token token)
{
    for (int i = 0; i < shakeCount; ++i) {
        guarded("shake the status item", [this] { Q_EMIT shakeRequested(); });
        co_await platform::async::sleepFor(shakePause, token, *m_scheduler);
        if (!*self || token.stop_requested()) {
            co_return;
        }
    }
    performSideEffects();

    // Read again: a change made during the shakes decides the form.
    auto type = NotificationType::popover;
    guarded("read the reminder type", [&] { type = Defaults::get(Keys::notificationType()); });
    switch (type) {
    case NotificationType::popover: {
        QPointer<zk::Tooltip> popover;
        guarded("show the popover", [&] { popover = showPopover(duration); });
        if (!popover) {
            co_return;
        }
        // Taken over by a newer reminder, the popover closes at once.
        co_await platform::async::sleepFor(popoverLifetime, token, *m_scheduler);
        if (!*self) {
            co_return;
        }
        if (popover) {
            popover->close();
            popover->deleteLater();
        }
        co_return;
    }
    case NotificationType::systemNotification:
        startSystemNotification(duration);
        co_return;
    case NotificationType::hud:
    case NotificationType::menuBarIconOnly:
        co_return;
    }
}

QCoro::Task<void> ReminderDelivery::headsUpRoad(const Guard* self, std::stop_token token)
{
    // Taken over by a newer reminder, the windows close at once.
    co_await platform::async::sleepFor(headsUpLifetime, token, *m_scheduler);
    if (!*self) {
        co_return;
    }
    guarded("close the heads-up windows", m_services.closeHeadsUp);
}

// --- The steps

void ReminderDelivery::performSideEffects()
{
    guarded("play the sound", [this] { playReminderSound(); });
    guarded("start haptic feedback", [this] {
        if (Defaults::get(Keys::notificationHapticFeedback())) {
            performHapticFeedback();
        }
    });
    guarded("run the chosen script", [this] { startShortcutTask(); });
}

void ReminderDelivery::playReminderSound()
{
    if (const auto sound = Defaults::get(Keys::notificationSound())) {
        m_services.playSound(*sound);
    }
}

void ReminderDelivery::startShortcutTask()
{
    platform::async::TaskHandle::start([self = QPointer(this), run = m_services.runShortcut](
                                           std::stop_token) { return runChosenShortcut(&self, &run); });
}

QCoro::Task<void> ReminderDelivery::runChosenShortcut(
    const Guard* self, const std::function<QCoro::Task<void>(platform::Uuid)>* run)
{
    if (!*self) {
        co_return;
    }
    std::optional<platform::Uuid> id;
    guarded("read the chosen script", [&] { id = Defaults::get(Keys::notificationRunShortcut()); });
    if (!id) {
        co_return;
    }
    try {
        co_await (*run)(*id);
    } catch (const std::exception& error) {
        logFailure("run the chosen script", error.what());
    } catch (...) {
        logFailure("run the chosen script", "unknown error");
    }
}

platform::async::TaskHandle ReminderDelivery::performHapticFeedback()
{
    if (!m_services.hapticFeedback) {
        // No device to drive: nothing to time either.
        ::kiruvo::performHapticFeedback();
        return {};
    }
    std::erase_if(m_hapticTasks, [](const platform::async::TaskHandle& task) { return task.isFinished(); });
    auto task = platform::async::TaskHandle::start([this, self = QPointer(this)](std::stop_token token) {
        return hapticPattern(&self, std::move(token));
    });
    m_hapticTasks.push_back(task);
    return task;
}

QCoro::Task<void> ReminderDelivery::hapticPattern(const Guard* self, std::stop_token token)
{
    for (int series = 0; series < 2; ++series) {
        if (series > 0) {
            // A series ends one interval after its last tick (its timer's last firing only
            // stops it); the pause comes after that.
            if (!co_await platform::async::sleepFor(hapticInterval, token, *m_scheduler) || !*self) {
                co_return;
            }
            if (!co_await platform::async::sleepFor(hapticPause, token, *m_scheduler)) {
                co_return;
            }
        }
        for (int tick = 0; tick < hapticTicksPerSeries; ++tick) {
            if (!*self || !co_await platform::async::sleepFor(hapticInterval, token, *m_scheduler)) {
                co_return;
            }
            if (!*self) {
                co_return;
            }
            guarded("perform haptic feedback", m_services.hapticFeedback);
        }
    }
}

void ReminderDelivery::startSystemNotification(zk::Duration duration)
{
    // Runs to its end on its own, alert included; the tint does not wait for it.
    platform::async::TaskHandle::start(
        [show = m_services.showSystemNotification, title = reminderMessage(duration)](
            std::stop_token token) { return show(title, std::move(token)); });
}

void ReminderDelivery::showHeadsUp(zk::Duration duration)
{
    m_scheduler->post([self = QPointer(this), show = m_services.showHeadsUp, duration] {
        if (self) {
            guarded("show the heads-up windows", [&] { show(duration); });
        }
    });
}

zk::Tooltip* ReminderDelivery::showPopover(zk::Duration duration)
{
    platform::StatusItem* statusItem = m_statusItem;
    if (!statusItem) {
        platform::log(platform::LogLevel::Info, platform::lcReminders(),
            "No status item to show the reminder popover at");
        return nullptr;
    }
    delete m_popover.data();
    auto* popover = new zk::Tooltip(QString::fromStdString(reminderMessage(duration)), true,
        QMargins(15, 15, 15, 15), 1000, {}, QString::fromLatin1(popoverIdentifier), false);
    popover->showEvenWhenMenuBarItemIsHidden = true;
    m_popover = popover;
    if (!popover->showInInvisibleWindow(*statusItem)) {
        platform::log(
            platform::LogLevel::Info, platform::lcReminders(), "The reminder popover could not be shown");
    }
    return popover;
}

} // namespace kiruvo
