#include "kit/foundation/SystemSettings.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/ZKApp.h"
#include "platform/DetachedProcess.h"
#include "platform/Logger.h"

#include <QApplication>
#include <QString>

#include <array>
#include <cstdlib>
#include <fmt/format.h>

namespace zk {

namespace {

// Each pane's page in the settings programs of the desktops whose settings are known.
struct PanePages {
    std::string_view pane;
    std::string_view gnomePanel;
    std::string_view kdeModule;
};

constexpr std::array knownPanes {
    PanePages { SystemSettingsPane::notifications, "notifications", "kcm_notifications" },
};

const PanePages* pagesOf(std::string_view pane)
{
    for (const PanePages& pages : knownPanes) {
        if (pages.pane == pane) {
            return &pages;
        }
    }
    return nullptr;
}

} // namespace

std::optional<SystemSettingsCommand> systemSettingsCommand(
    std::string_view pane, std::string_view currentDesktop)
{
    const PanePages* pages = pagesOf(pane);
    if (pages == nullptr) {
        return std::nullopt;
    }
    std::size_t start = 0;
    while (start <= currentDesktop.size()) {
        auto end = currentDesktop.find(':', start);
        if (end == std::string_view::npos) {
            end = currentDesktop.size();
        }
        const QString name
            = QString::fromUtf8(currentDesktop.data() + start, static_cast<qsizetype>(end - start));
        if (name.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0) {
            return SystemSettingsCommand { "gnome-control-center", std::string(pages->gnomePanel) };
        }
        if (name.compare(QLatin1String("KDE"), Qt::CaseInsensitive) == 0) {
            return SystemSettingsCommand { "systemsettings", std::string(pages->kdeModule) };
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<SystemSettingsCommand> currentSystemSettingsCommand(std::string_view pane)
{
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return systemSettingsCommand(pane, desktop != nullptr ? desktop : "");
}

bool openSystemSettingsPane(std::string_view pane)
{
    if (pagesOf(pane) == nullptr) {
        platform::log(platform::LogLevel::Warning, platform::lcDesktop(),
            fmt::format("There is no settings pane named \"{}\"; nothing opened", pane));
        return false;
    }
    const auto command = currentSystemSettingsCommand(pane);
    if (!command) {
        platform::log(platform::LogLevel::Info, platform::lcDesktop(),
            fmt::format("The {} settings of this desktop are not known; nothing opened", pane));
        return false;
    }
    return platform::DetachedProcess::start(
        command->front(), SystemSettingsCommand(command->begin() + 1, command->end()));
}

bool openSystemSettingsPaneOrTell(std::string_view pane)
{
    if (openSystemSettingsPane(pane)) {
        return true;
    }
    AlertDescription description;
    description.title = fmt::format("Could not open the {} settings of this desktop", pane);
    description.message = fmt::format(
        "{} does not know where this desktop keeps them. Open your desktop's settings and look for {}.",
        ZKApp::name(), pane == SystemSettingsPane::notifications ? "Notifications" : std::string(pane));
    description.style = AlertStyle::informational;
    // On the window the action came from, so that it cannot open hidden behind it.
    AlertPresenter::shared().present(makeAlert(description), {}, QApplication::activeWindow());
    return false;
}

} // namespace zk
