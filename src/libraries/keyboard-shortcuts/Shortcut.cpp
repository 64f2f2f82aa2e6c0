#include "libraries/keyboard-shortcuts/Shortcut.h"

#include <QKeyEvent>

namespace KeyboardShortcuts {

namespace {

constexpr Qt::KeyboardModifiers shortcutModifiers
    = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_unknown:
        return true;
    default:
        return false;
    }
}

} // namespace

Shortcut::Shortcut(int key, Qt::KeyboardModifiers modifiers)
    : m_key(key)
    , m_modifiers(modifiers & shortcutModifiers)
{
}

std::optional<Shortcut> Shortcut::fromEvent(const QEvent* event)
{
    if (event == nullptr || (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)) {
        return std::nullopt;
    }
    const auto* keyEvent = static_cast<const QKeyEvent*>(event);
    if (isModifierKey(keyEvent->key())) {
        return std::nullopt;
    }
    return Shortcut(keyEvent->key(), keyEvent->modifiers());
}

QKeySequence Shortcut::keySequence() const
{
    return QKeySequence(QKeyCombination(m_modifiers, static_cast<Qt::Key>(m_key)));
}

} // namespace KeyboardShortcuts
