#pragma once

#include "kit/interface/SharingService.h"

#include <QMenu>

#include <functional>
#include <vector>

namespace zk {

// A menu of the desktop's ways to share some items: one entry per service that can share them
// ("Copy" to the clipboard, "Open" for links and files, "Email" through the user's mail program
// once the diagnostics have registered it), listed afresh each time the menu opens. Choosing an
// entry shares the items with that service, then tells `didClick`. Main-thread only.
class SystemShareMenu : public QMenu {
    Q_OBJECT
public:
    explicit SystemShareMenu(
        std::vector<ShareItem> shareItems, std::function<void()> didClick = {}, QWidget* parent = nullptr);

    const std::vector<ShareItem>& shareItems() const { return m_shareItems; }
    void setShareItems(std::vector<ShareItem> items);

    // Told after a service has shared the items.
    std::function<void()> didClick;

private:
    void rebuild();

    std::vector<ShareItem> m_shareItems;
};

} // namespace zk
