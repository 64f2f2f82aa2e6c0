#pragma once

#include "platform/desktop/StatusItem.h"

#include <QString>

namespace kiruvo {

// Puts `title` on the status item, shifted vertically by the user's "menuBarTextVerticalAlignmentOffset"
// (points, positive moves it up; no value leaves it where the desktop puts it). The setting is read
// afresh at every call, so a change shows at the next redraw. Main-thread only.
void setMenuBarTitle(platform::StatusItem& statusItem, const QString& title);

// The same on an appearance that is about to be drawn, so that a redraw of image and title together
// draws once.
void setMenuBarTitle(platform::StatusItemAppearance& appearance, const QString& title);

} // namespace kiruvo
