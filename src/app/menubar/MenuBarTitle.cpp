#include "app/menubar/MenuBarTitle.h"

#include "app/engine/SettingsKeys.h"
#include "libraries/defaults/Defaults.h"

namespace kiruvo {

void setMenuBarTitle(platform::StatusItem& statusItem, const QString& title)
{
    statusItem.setTitle(title, Defaults::get(Keys::menuBarTextVerticalAlignmentOffset()));
}

void setMenuBarTitle(platform::StatusItemAppearance& appearance, const QString& title)
{
    appearance.title = title;
    appearance.titleBaselineOffset = Defaults::get(Keys::menuBarTextVerticalAlignmentOffset());
}

} // namespace kiruvo
