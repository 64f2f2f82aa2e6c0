#include "kit/interface/TextEditingKeyEquivalents.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QWidget>

namespace zk {

namespace {

struct EditingKey {
    Qt::KeyboardModifiers modifiers;
    int key;
    const char* action;
    // Undo and redo given to an explicit target that lacks them answer "no" instead of "not mine".
    bool refusedByTarget;
    // Whether the action changes the text: a read-only field does not get it.
    bool edits;
};

// In the order they are matched.
constexpr EditingKey editingKeys[] = {
    { Qt::ControlModifier, Qt::Key_X, "cut", false, true },
    { Qt::ControlModifier, Qt::Key_C, "copy", false, false },
    { Qt::ControlModifier, Qt::Key_V, "paste", false, true },
    { Qt::ControlModifier, Qt::Key_Z, "undo", true, true },
    { Qt::ControlModifier, Qt::Key_A, "selectAll", false, false },
    { Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z, "redo", true, true },
};

const EditingKey* matchingKey(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    for (const EditingKey& candidate : editingKeys) {
        if (candidate.modifiers == modifiers && candidate.key == event.key()) {
            return &candidate;
        }
    }
    return nullptr;
}

bool hasAction(const QObject& object, const char* action)
{
    return object.metaObject()->indexOfMethod(
               QMetaObject::normalizedSignature((std::string(action) + "()").c_str()))
        >= 0;
}

// Text fields and editors (QLineEdit, QTextEdit, QPlainTextEdit, spin boxes) say so in a
// "readOnly" property; their cut and paste slots would change the text all the same.
bool refusesEdits(const QObject& receiver)
{
    return receiver.property("readOnly").toBool();
}

// The focus chain: the widget, then each parent up to its window. A read-only field ends the
// chain for an action that changes text: it takes no such action, and neither does its window.
QObject* firstTaking(QWidget* sender, const EditingKey& key)
{
    for (QWidget* widget = sender; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        if (hasAction(*widget, key.action)) {
            return key.edits && refusesEdits(*widget) ? nullptr : widget;
        }
    }
    return nullptr;
}

} // namespace

TextEditingKeyResult performTextEditingKeyEquivalent(QWidget* sender, const QKeyEvent& event, QObject* target)
{
    if (event.type() != QEvent::KeyPress) {
        return TextEditingKeyResult::notMine;
    }
    const EditingKey* key = matchingKey(event);
    if (!key) {
        return TextEditingKeyResult::notMine;
    }
    QObject* receiver = target;
    if (target && !hasAction(*target, key->action)) {
        if (key->refusedByTarget) {
            return TextEditingKeyResult::no;
        }
        receiver = nullptr;
    } else if (target && key->edits && refusesEdits(*target)) {
        receiver = nullptr;
    } else if (!target) {
        receiver = firstTaking(sender, *key);
    }
    if (!receiver || !QMetaObject::invokeMethod(receiver, key->action, Qt::DirectConnection)) {
        return TextEditingKeyResult::notMine;
    }
    return TextEditingKeyResult::yes;
}

void TextEditingKeyEquivalents::install()
{
    static TextEditingKeyEquivalents* installed = nullptr;
    if (installed || !QCoreApplication::instance()) {
        return;
    }
    installed = new TextEditingKeyEquivalents(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(installed);
}

bool TextEditingKeyEquivalents::eventFilter(QObject* receiver, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    // Keys come to the focused widget; looking only there sees each key once.
    QWidget* focus = QApplication::focusWidget();
    if (!focus || receiver != focus) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (event->type() == QEvent::ShortcutOverride) {
        // Claiming an editing key here keeps an application shortcut from taking it first.
        if (matchingKey(*key) && firstTaking(focus, *matchingKey(*key))) {
            event->accept();
        }
        return false;
    }
    return performTextEditingKeyEquivalent(focus, *key) != TextEditingKeyResult::notMine;
}

} // namespace zk
