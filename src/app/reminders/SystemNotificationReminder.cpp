#include "app/reminders/SystemNotificationReminder.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/ErrorPresentation.h"
#include "kit/foundation/SettingsWindowOpener.h"
#include "kit/foundation/SystemSettings.h"
#include "kit/foundation/core/ErrorValues.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/async/Sleep.h"

#include <QMetaMethod>

#include <memory>

namespace kiruvo {

namespace {

// The error shown when the service refused a notification.
zk::ErrorPtr postError(const platform::NotificationCenter::PostResult& result)
{
    const std::string domain = result.errorName.empty() ? "org.freedesktop.Notifications" : result.errorName;
    std::string description = "The reminder notification could not be shown.";
    zk::ErrorUserInfo userInfo;
    userInfo[zk::ErrorKeys::localizedDescription] = description;
    if (!result.errorMessage.empty()) {
        userInfo[zk::ErrorKeys::localizedFailureReason] = result.errorMessage;
    }
    return std::make_shared<zk::PlatformError>(domain, 1, std::move(userInfo));
}

} // namespace

SystemNotificationReminder::SystemNotificationReminder()
    : SystemNotificationReminder(platform::NotificationCenter::shared(), platform::combine::Scheduler::main())
{
}

SystemNotificationReminder::SystemNotificationReminder(
    platform::NotificationCenter& center, platform::combine::Scheduler& scheduler)
    : m_center(&center)
    , m_scheduler(&scheduler)
{
}

QCoro::Task<void> SystemNotificationReminder::show(std::string title, std::stop_token token)
{
    if (!co_await m_center->requestAuthorization()) {
        co_await showNotificationPermissionAlert();
        co_return;
    }
    co_await m_center->removeAllDelivered();
    co_await platform::async::sleepFor(pauseBeforePosting, token, *m_scheduler);

    platform::NotificationCenter::Request request;
    request.summary = std::move(title);
    // A reminder should reach the user now, but need not stay on screen until dismissed.
    request.urgency = platform::NotificationCenter::Urgency::normal;
    const auto result = co_await m_center->post(std::move(request));
    if (!result.succeeded()) {
        co_await zk::presentAsModalAsync(postError(result));
    }
}

QCoro::Task<void> SystemNotificationReminder::showNotificationPermissionAlert()
{
    zk::AlertDescription description;
    description.title = alertTitle;
    description.message = alertMessage;
    description.style = zk::AlertStyle::warning;
    const bool desktopSettingsKnown
        = zk::currentSystemSettingsCommand(zk::SystemSettingsPane::notifications).has_value();
    if (desktopSettingsKnown) {
        description.buttonTitles.push_back(openSystemSettingsTitle);
    }
    description.buttonTitles.push_back(openKiruvoSettingsTitle);
    description.buttonTitles.push_back(ignoreTitle);
    const auto titles = description.buttonTitles;
    const int response = co_await zk::AlertPresenter::shared().presentAsync(zk::makeAlert(description));
    const std::string chosen = response >= 0 && static_cast<std::size_t>(response) < titles.size()
        ? titles[response]
        : ignoreTitle;
    if (chosen == openSystemSettingsTitle) {
        zk::openSystemSettingsPaneOrTell(zk::SystemSettingsPane::notifications);
    } else if (chosen == openKiruvoSettingsTitle) {
        platform::MainQueue::post(this, [this] {
            if (isSignalConnected(
                    QMetaMethod::fromSignal(&SystemNotificationReminder::settingsWindowRequested))) {
                Q_EMIT settingsWindowRequested();
            } else {
                zk::openSettingsWindow();
            }
        });
    }
}

} // namespace kiruvo
