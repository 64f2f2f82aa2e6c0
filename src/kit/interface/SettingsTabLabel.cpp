#include "kit/interface/SettingsTabLabel.h"

#include "kit/interface/SymbolImage.h"

#include <QObject>

namespace zk {

QIcon SettingsTabLabel::icon() const
{
    return symbolIcon(systemImage, 20);
}

SettingsTabLabel settingsTabLabel(SettingsTabType type)
{
    switch (type) {
    case SettingsTabType::general:
        return { QObject::tr("General"), "gearshape" };
    case SettingsTabType::advanced:
        return { QObject::tr("Advanced"), "gearshape.2" };
    case SettingsTabType::shortcuts:
        return { QObject::tr("Shortcuts"), "command" };
    case SettingsTabType::appearance:
        return { QObject::tr("Appearance"), "paintbrush.pointed" };
    case SettingsTabType::menuBar:
        return { QObject::tr("Tray Icon"), "menubar.rectangle" };
    case SettingsTabType::menu:
        return { QObject::tr("Menu"), "filemenu.and.selection" };
    case SettingsTabType::notifications:
        return { QObject::tr("Notifications"), "bell.badge" };
    case SettingsTabType::calendar:
        return { QObject::tr("Calendar"), "calendar" };
    case SettingsTabType::rules:
        return { QObject::tr("Rules"), "arrow.triangle.branch" };
    case SettingsTabType::browsers:
        return { QObject::tr("Browsers"), "globe" };
    case SettingsTabType::timeZones:
        return { QObject::tr("Time Zones"), "globe" };
    case SettingsTabType::extras:
        return { QObject::tr("Extras"), "sparkles" };
    case SettingsTabType::exclude:
        return { QObject::tr("Exclude"), "nosign" };
    }
    return { QString(), {} };
}

} // namespace zk
