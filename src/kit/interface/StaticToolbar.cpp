#include "kit/interface/StaticToolbar.h"

#include <QAction>

namespace zk {

StaticToolbar::StaticToolbar(std::vector<std::pair<QString, QAction*>> items, QWidget* parent)
    : QToolBar(parent)
{
    setMovable(false);
    setFloatable(false);
    // The window's menu of toolbars would let the user hide this one.
    toggleViewAction()->setEnabled(false);
    toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
    for (auto& [identifier, action] : items) {
        if (!action || m_items.contains(identifier)) {
            continue;
        }
        action->setParent(this);
        m_items.emplace(identifier, action);
        m_identifiers.push_back(identifier);
        addAction(action);
    }
}

QAction* StaticToolbar::item(const QString& identifier) const
{
    const auto found = m_items.find(identifier);
    return found == m_items.end() ? nullptr : found->second;
}

} // namespace zk
