#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

namespace zk {

// What the text-editing key routine did with a key.
enum class TextEditingKeyResult {
    yes, // The editing action ran.
    no, // The key was an editing key, but the given target cannot take the action.
    notMine, // Not an editing key, or nothing along the focus chain takes it.
};

// The editing keys an application without a main menu must supply itself: Ctrl+X, Ctrl+C, Ctrl+V,
// Ctrl+Z, Ctrl+A and Ctrl+Shift+Z send cut, copy, paste, undo, select-all and redo to `target`, or,
// without one, to the first of `sender` and its parents that has that action (a text field, a
// text editor, a combo box's editor...). Keypad does not stop a match; any other modifier does.
TextEditingKeyResult performTextEditingKeyEquivalent(
    QWidget* sender, const QKeyEvent& event, QObject* target = nullptr);

// Sends the editing keys of every window of this application to the focused widget through the
// routine above, before any application shortcut can take them. Installed once, at start-up.
//
// Main-thread only.
class TextEditingKeyEquivalents : public QObject {
    Q_OBJECT
public:
    // Installs the shared instance (again does nothing).
    static void install();

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    using QObject::QObject;
};

} // namespace zk
