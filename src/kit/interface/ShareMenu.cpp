#include "kit/interface/ShareMenu.h"

namespace zk {

ShareMenu::ShareMenu(QWidget* parent)
    : QMenu(QStringLiteral("Share"), parent)
{
    connect(this, &QMenu::aboutToShow, this, &ShareMenu::rebuild);
}

std::function<std::vector<ShareItem>()>& ShareMenu::itemProvider()
{
    static std::function<std::vector<ShareItem>()> provider;
    return provider;
}

std::function<std::vector<ShareItem>()>& ShareMenu::plainItemProvider()
{
    static std::function<std::vector<ShareItem>()> provider;
    return provider;
}

std::function<std::vector<std::shared_ptr<SharingService>>()>& ShareMenu::servicesProvider()
{
    static std::function<std::vector<std::shared_ptr<SharingService>>()> provider;
    return provider;
}

ShareMenu& ShareMenu::shared()
{
    static ShareMenu* menu = new ShareMenu;
    return *menu;
}

void ShareMenu::rebuild()
{
    // A share submenu under a disabled item stays as it is.
    if (parentItem && !parentItem->isEnabled()) {
        return;
    }
    std::vector<ShareItem> items;
    if (itemProvider()) {
        items = itemProvider()();
    } else if (plainItemProvider()) {
        items = plainItemProvider()();
        shareItems = items;
    }
    clear();
    addSeparator();
    if (items.empty()) {
        return;
    }
    std::vector<std::shared_ptr<SharingService>> own;
    if (servicesProvider()) {
        for (auto& service : servicesProvider()()) {
            if (service && service->canPerformWithItems(items)) {
                own.push_back(std::move(service));
            }
        }
    }
    std::vector<std::shared_ptr<SharingService>> services = own;
    const auto system = SharingService::sharingServicesForItems(items);
    services.insert(services.end(), system.begin(), system.end());
    for (std::size_t index = 0; index < services.size(); ++index) {
        if (index == own.size()) {
            addSeparator();
        }
        const auto service = services[index];
        addAction(service->image(), service->title(), this, [this, service] { perform(service); });
    }
}

void ShareMenu::perform(const std::shared_ptr<SharingService>& service)
{
    std::vector<ShareItem> items;
    if (shareItems) {
        items = *shareItems;
    } else if (plainItemProvider()) {
        items = plainItemProvider()();
    }
    service->performWithItems(items);
    shareItems.reset();
}

ShareMenuItem::ShareMenuItem(const QString& title, QObject* parent)
    : QAction(title, parent)
    , m_menu(new ShareMenu)
{
    m_menu->parentItem = this;
    setMenu(m_menu);
}

ShareMenuItem::~ShareMenuItem()
{
    delete m_menu;
}

ShareButton::ShareButton(QWidget* parent)
    : QPushButton(QStringLiteral("Share"), parent)
{
    setIcon(QIcon::fromTheme(QStringLiteral("document-share")));
    connect(this, &QPushButton::pressed, this,
        [this] { ShareMenu::shared().popup(mapToGlobal(QPoint(0, height() + 4))); });
}

ShareToolbarItem::ShareToolbarItem(QWidget* parent)
    : QToolButton(parent)
{
    setText(QStringLiteral("Share"));
    setIcon(QIcon::fromTheme(QStringLiteral("document-share")));
    setMenu(new ShareMenu(this));
    setPopupMode(QToolButton::InstantPopup);
    setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
}

} // namespace zk
