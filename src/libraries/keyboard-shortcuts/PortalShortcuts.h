#pragma once

#include "libraries/keyboard-shortcuts/Name.h"

#include <QDBusConnection>
#include <QString>

#include <vector>

// Global shortcuts through the desktop portal, where the application cannot grab keys itself (a
// Wayland session): the names are bound with their descriptions, each with its stored shortcut as
// the preferred trigger, and the desktop's presses of their triggers run the names' actions. A
// shortcut recorded later is offered to the desktop again.
//
// Main-thread only.
namespace KeyboardShortcuts::PortalShortcuts {

struct Description {
    Name name;
    // What the desktop's shortcut settings show for it ("Open the Kiruvo menu").
    QString description;
};

// Binds the names when the desktop lets no application grab keys (does nothing where it does).
// Without a portal that offers global shortcuts nothing is bound, and the recorders say that this
// desktop offers none.
void bindWhereNeeded(
    std::vector<Description> names, QDBusConnection connection = QDBusConnection::sessionBus());
// The same whatever the desktop offers: for tests.
void bind(std::vector<Description> names, QDBusConnection connection);
bool isBound();

// The trigger offered for a shortcut ("CTRL+ALT+k"); empty when its key has no name here.
QString preferredTrigger(const Shortcut& shortcut);

void resetForTesting();

} // namespace KeyboardShortcuts::PortalShortcuts
