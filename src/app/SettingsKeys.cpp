#include "app/SettingsKeys.h"

#include "libraries/defaults/CodableForm.h"

namespace kiruvo {

std::optional<Session> sessionFromStoredText(const std::string& text)
{
    auto json = Defaults::CodableForm::decodeJson(text);
    if (!json) {
        return std::nullopt;
    }
    try {
        Session session;
        from_json(*json, session);
        return session;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace kiruvo

namespace kiruvo::Keys {

const Defaults::Key<std::vector<Session>>& sessions()
{
    static const Defaults::Key<std::vector<Session>> key("sessions", {});
    return key;
}

const Defaults::Key<ShowInMenuBar>& showInMenuBar()
{
    static const Defaults::Key<ShowInMenuBar> key("showInMenuBar", ShowInMenuBar::currentSessionDuration);
    return key;
}

const Defaults::Key<zk::Duration>& idleDurationBeforeStop()
{
    static const Defaults::Key<zk::Duration> key("idleDurationBeforeStop", zk::Duration::fromSeconds(600));
    return key;
}

const Defaults::Key<std::optional<zk::Duration>>& notifyInterval()
{
    static const Defaults::Key<std::optional<zk::Duration>> key("notifyInterval");
    return key;
}

const Defaults::Key<NotificationType>& notificationType()
{
    static const Defaults::Key<NotificationType> key("notificationType", NotificationType::popover);
    return key;
}

const Defaults::Key<std::optional<zk::MacSystemSound>>& notificationSound()
{
    static const Defaults::Key<std::optional<zk::MacSystemSound>> key("notificationSound");
    return key;
}

const Defaults::Key<bool>& notificationHapticFeedback()
{
    static const Defaults::Key<bool> key("notificationHapticFeedback", false);
    return key;
}

const Defaults::Key<std::optional<platform::Uuid>>& notificationRunShortcut()
{
    static const Defaults::Key<std::optional<platform::Uuid>> key("notificationRunShortcut");
    return key;
}

const Defaults::Key<bool>& toggleEnabledWithLeftClick()
{
    static const Defaults::Key<bool> key("toggleEnabledWithLeftClick", false);
    return key;
}

const Defaults::Key<bool>& dimMenuBarItemWhileDisabled()
{
    static const Defaults::Key<bool> key("dimMenuBarItemWhileDisabled", true);
    return key;
}

const Defaults::Key<MenuBarIcon>& menuBarIcon()
{
    static const Defaults::Key<MenuBarIcon> key("menuBarIcon", MenuBarIcon::heart);
    return key;
}

const Defaults::Key<bool>& enableAtLaunch()
{
    static const Defaults::Key<bool> key("enableAtLaunch", true);
    return key;
}

const Defaults::Key<std::optional<double>>& menuBarTextVerticalAlignmentOffset()
{
    static const Defaults::Key<std::optional<double>> key("menuBarTextVerticalAlignmentOffset");
    return key;
}

const Defaults::Key<bool>& showDurationInMenuBar()
{
    static const Defaults::Key<bool> key("showDurationInMenuBar", true);
    return key;
}

const Defaults::Key<bool>& useSystemNotifications()
{
    static const Defaults::Key<bool> key("useSystemNotifications", false);
    return key;
}

void registerAll()
{
    sessions();
    showInMenuBar();
    idleDurationBeforeStop();
    notifyInterval();
    notificationType();
    notificationSound();
    notificationHapticFeedback();
    notificationRunShortcut();
    toggleEnabledWithLeftClick();
    dimMenuBarItemWhileDisabled();
    menuBarIcon();
    enableAtLaunch();
    menuBarTextVerticalAlignmentOffset();
    showDurationInMenuBar();
    useSystemNotifications();
}

} // namespace kiruvo::Keys
