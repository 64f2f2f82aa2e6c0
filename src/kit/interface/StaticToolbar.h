#pragma once

#include <QString>
#include <QToolBar>

#include <map>
#include <utility>
#include <vector>

class QAction;

namespace zk {

// A toolbar with a fixed set of items in a fixed order: the user can neither move it nor change
// what it holds. Items are looked up by their identifier.
//
// Main-thread only.
class StaticToolbar : public QToolBar {
    Q_OBJECT
public:
    // The items in order, each under its identifier; the toolbar takes them as its children.
    explicit StaticToolbar(std::vector<std::pair<QString, QAction*>> items, QWidget* parent = nullptr);

    // The identifiers, in order: all the toolbar allows, and what it shows.
    const std::vector<QString>& toolbarItemIdentifiers() const { return m_identifiers; }
    std::vector<QString> allowedItemIdentifiers() const { return m_identifiers; }
    std::vector<QString> defaultItemIdentifiers() const { return m_identifiers; }

    const std::map<QString, QAction*>& toolbarItems() const { return m_items; }

    // The item under `identifier`, or nullptr.
    QAction* item(const QString& identifier) const;

private:
    std::map<QString, QAction*> m_items;
    std::vector<QString> m_identifiers;
};

} // namespace zk
