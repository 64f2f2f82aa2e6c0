#include "kit/interface/SystemShareMenu.h"

#include <memory>

namespace zk {

SystemShareMenu::SystemShareMenu(
    std::vector<ShareItem> shareItems, std::function<void()> didClick, QWidget* parent)
    : QMenu(parent)
    , didClick(std::move(didClick))
    , m_shareItems(std::move(shareItems))
{
    connect(this, &QMenu::aboutToShow, this, &SystemShareMenu::rebuild);
    rebuild();
}

void SystemShareMenu::setShareItems(std::vector<ShareItem> items)
{
    m_shareItems = std::move(items);
    rebuild();
}

void SystemShareMenu::rebuild()
{
    clear();
    for (const std::shared_ptr<SharingService>& service :
        SharingService::sharingServicesForItems(m_shareItems)) {
        QAction* entry = addAction(service->image(), service->title());
        connect(entry, &QAction::triggered, this, [this, service] {
            // The items as they are now: the entry may have been listed before they changed.
            const std::vector<ShareItem> items = m_shareItems;
            service->performWithItems(items);
            if (didClick) {
                auto told = didClick;
                told();
            }
        });
    }
}

} // namespace zk
