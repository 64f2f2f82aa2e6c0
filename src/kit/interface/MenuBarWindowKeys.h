#pragma once

class QKeyEvent;
class QWidget;

namespace zk {

// The window keys of an application that has no main menu to supply them: Ctrl+W closes the
// window and Ctrl+M minimises it, each only where the window has that button (its window flags);
// elsewhere the key is taken and does nothing, as the button's absence refuses it. Keypad and Caps
// Lock do not stop a match; any other modifier held with Ctrl does. Returns whether the key was
// taken.
bool handleMenuBarWindowKey(QWidget& window, QKeyEvent& event);

// Escape with no modifier (keypad aside) closes the window; returns whether the key was taken.
bool closeOnEscapeKey(QWidget& window, QKeyEvent& event);

} // namespace zk
