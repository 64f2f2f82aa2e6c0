#include "kit/interface/ZKMenu.h"

#include <QKeyEvent>

namespace zk {

ZKMenu::ZKMenu(const QString& title, QWidget* parent)
    : QMenu(title, parent)
{
    connect(this, &QMenu::aboutToShow, this, [this] {
        menuNeedsUpdate();
        menuWillOpen();
    });
    connect(this, &QMenu::aboutToHide, this, [this] { menuDidClose(); });
}

void ZKMenu::menuNeedsUpdate()
{
    m_needsUpdateSubject.send();
    if (onUpdate) {
        onUpdate();
    }
    if (onUpdateLegacy) {
        onUpdateLegacy(*this);
    }
}

void ZKMenu::setOpen(bool open)
{
    m_isOpen = open;
    m_isOpenSubject.send(open);
    if (onOpenClose) {
        onOpenClose(open);
    }
}

QAction* ZKMenu::actionForKeyEquivalent(int key, Qt::KeyboardModifiers modifiers) const
{
    for (QAction* action : actions()) {
        if (!action->isEnabled() || !action->isVisible() || action->isSeparator() || action->menu()) {
            continue;
        }
        const QKeySequence shortcut = action->shortcut();
        if (shortcut.count() != 1) {
            continue;
        }
        const QKeyCombination combination = shortcut[0];
        if (combination.key() == key && combination.keyboardModifiers() == modifiers) {
            return action;
        }
    }
    return nullptr;
}

void ZKMenu::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    // Letters and punctuation ("Ctrl+,"); arrows, Return and Escape keep navigating the menu.
    const bool printable = event->key() >= Qt::Key_Space && event->key() <= Qt::Key_AsciiTilde;
    if (printable) {
        if (QAction* action = actionForKeyEquivalent(event->key(), modifiers)) {
            event->accept();
            // Close the whole chain of menus first, as a click on the item would.
            QWidget* top = this;
            while (auto* parentMenu = qobject_cast<QMenu*>(top->parentWidget())) {
                top = parentMenu;
            }
            top->hide();
            hide();
            action->trigger();
            return;
        }
    }
    QMenu::keyPressEvent(event);
}

} // namespace zk
