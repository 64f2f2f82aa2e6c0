#pragma once

#include <QIcon>
#include <QString>

#include <string_view>

namespace zk {

// The kinds of settings-window tabs the kit knows, each with its title and symbol.
enum class SettingsTabType {
    general,
    advanced,
    shortcuts,
    appearance,
    menuBar,
    menu,
    notifications,
    calendar,
    rules,
    browsers,
    timeZones,
    extras,
    exclude,
};

// How a settings tab is labelled: its title and the symbol shown above it.
struct SettingsTabLabel {
    QString title;
    std::string_view systemImage;

    // The symbol as an icon (null when the icon font is missing).
    QIcon icon() const;
};

SettingsTabLabel settingsTabLabel(SettingsTabType type);

} // namespace zk
