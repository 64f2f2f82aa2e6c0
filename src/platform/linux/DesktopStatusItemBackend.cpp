#include "platform/linux/DesktopStatusItemBackend.h"

#include "platform/Logger.h"
#include "platform/linux/TrayStatusItemBackend.h"

#include <QGuiApplication>

namespace platform {

DesktopStatusItemBackend::DesktopStatusItemBackend(QDBusConnection connection,
    StatusNotifierItemBackend::Options options, FallbackFactory makeFallback, QObject* parent)
    : QObject(parent)
    , m_statusNotifierItem(std::make_unique<StatusNotifierItemBackend>(std::move(connection), options))
    , m_makeFallback(makeFallback ? std::move(makeFallback) : []() -> std::unique_ptr<StatusItemBackend> {
        // Wayland has no XEmbed tray; Qt's tray icon would look for one on an X display it lacks.
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
            return nullptr;
        }
        return std::make_unique<TrayStatusItemBackend>();
    })
{
    m_statusNotifierItem->setClickHandler([this](Qt::MouseButton button) { reportClick(button); });
    m_statusNotifierItem->setMenuRequestHandler([this] { reportMenuRequest(); });
    connect(m_statusNotifierItem.get(), &StatusNotifierItemBackend::availabilityChanged, this,
        [this] { choose(); });
    if (m_statusNotifierItem->isAskingForHost()) {
        // Chosen once the watcher answers: a tray icon made meanwhile would be seen beside the item.
        connect(
            m_statusNotifierItem.get(), &StatusNotifierItemBackend::hostQueryAnswered, this,
            [this] { choose(); }, Qt::SingleShotConnection);
    } else {
        choose();
    }
}

DesktopStatusItemBackend::~DesktopStatusItemBackend() = default;

void DesktopStatusItemBackend::choose()
{
    const bool hosted = m_statusNotifierItem->isAvailable();
    if (m_place && (*m_place == Place::statusNotifierItem) == hosted) {
        return;
    }
    if (hosted) {
        log(LogLevel::Info, lcTray(), "The panel hosts StatusNotifierItems: the status item is one");
        m_fallback.reset();
        m_place = Place::statusNotifierItem;
    } else if ((m_fallback = m_makeFallback())) {
        log(LogLevel::Info, lcTray(),
            "No StatusNotifierItem host: the status item goes into the XEmbed tray");
        m_fallback->setClickHandler([this](Qt::MouseButton button) { reportClick(button); });
        m_place = Place::fallback;
    } else {
        log(LogLevel::Info, lcTray(),
            "No StatusNotifierItem host, and this display has no other tray: the status item shows "
            "once a panel hosts StatusNotifierItems");
        m_place = Place::nowhere;
    }
    active().draw(m_appearance);
    if (!m_contentOffset.isNull()) {
        active().setContentOffset(m_contentOffset);
    }
}

StatusItemBackend& DesktopStatusItemBackend::active() const
{
    return m_fallback ? *m_fallback : static_cast<StatusItemBackend&>(*m_statusNotifierItem);
}

void DesktopStatusItemBackend::draw(const StatusItemAppearance& appearance)
{
    m_appearance = appearance;
    active().draw(appearance);
}

std::optional<QRect> DesktopStatusItemBackend::geometry() const
{
    return active().geometry();
}

bool DesktopStatusItemBackend::isAvailable() const
{
    return active().isAvailable();
}

void DesktopStatusItemBackend::setContentOffset(QPointF offset)
{
    m_contentOffset = offset;
    active().setContentOffset(offset);
}

void DesktopStatusItemBackend::setMenu(QMenu* menu, std::function<void()> aboutToShow)
{
    m_statusNotifierItem->setMenu(menu, std::move(aboutToShow));
}

bool DesktopStatusItemBackend::exportsMenu() const
{
    return usesStatusNotifierItem() && m_statusNotifierItem->exportsMenu();
}

bool DesktopStatusItemBackend::menuRequestIsPrimaryClick() const
{
    return usesStatusNotifierItem() && m_statusNotifierItem->menuRequestIsPrimaryClick();
}

} // namespace platform
