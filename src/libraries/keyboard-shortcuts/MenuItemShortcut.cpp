#include "libraries/keyboard-shortcuts/MenuItemShortcut.h"

#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"

#include <QAction>

namespace KeyboardShortcuts {

namespace {

constexpr const char* bindingObjectName = "KeyboardShortcuts_menuItemBinding";

void applyStoredShortcut(QAction& item, const Name& name)
{
    const std::optional<Shortcut> shortcut = getShortcut(name);
    item.setShortcut(shortcut ? shortcut->keySequence() : QKeySequence());
}

} // namespace

void setMenuItemShortcut(QAction& item, const std::optional<Name>& name)
{
    // One binding per item: a child object whose connection ends with it.
    delete item.findChild<QObject*>(bindingObjectName, Qt::FindDirectChildrenOnly);
    if (!name) {
        item.setShortcut(QKeySequence());
        return;
    }
    applyStoredShortcut(item, *name);
    auto* binding = new QObject(&item);
    binding->setObjectName(bindingObjectName);
    QObject::connect(&ShortcutChangeNotifier::shared(), &ShortcutChangeNotifier::shortcutByNameDidChange,
        binding, [&item, bound = *name](const Name& changed) {
            if (changed == bound) {
                applyStoredShortcut(item, bound);
            }
        });
}

} // namespace KeyboardShortcuts
