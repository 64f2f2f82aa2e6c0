#include "platform/linux/DesktopStatusItemBackend.h"

#include "platform/Logger.h"
#include "platform/linux/TrayStatusItemBackend.h"

namespace platform {

DesktopStatusItemBackend::DesktopStatusItemBackend(QDBusConnection connection,
    StatusNotifierItemBackend::Options options, FallbackFactory makeFallback, QObject* parent)
    : QObject(parent)
    , m_statusNotifierItem(std::make_unique<StatusNotifierItemBackend>(std::move(connection), options))
    , m_makeFallback(makeFallback ? std::move(makeFallback) : [] {
        return std::unique_ptr<StatusItemBackend>(new TrayStatusItemBackend);
    })
{
    m_statusNotifierItem->setClickHandler([this](Qt::MouseButton button) { reportClick(button); });
    m_statusNotifierItem->setMenuRequestHandler([this] { reportMenuRequest(); });
    connect(m_statusNotifierItem.get(), &StatusNotifierItemBackend::availabilityChanged, this,
        [this] { choose(); });
    const auto chooseAtStart = [this] {
        if (m_statusNotifierItem->isAvailable()) {
            log(LogLevel::Info, lcTray(), "The panel hosts StatusNotifierItems: the status item is one");
        } else {
            choose();
        }
    };
    if (m_statusNotifierItem->isAskingForHost()) {
        // Chosen once the watcher answers: a tray icon made meanwhile would be seen beside the item.
        connect(m_statusNotifierItem.get(), &StatusNotifierItemBackend::hostQueryAnswered, this,
            chooseAtStart, Qt::SingleShotConnection);
    } else {
        chooseAtStart();
    }
}

DesktopStatusItemBackend::~DesktopStatusItemBackend() = default;

void DesktopStatusItemBackend::choose()
{
    const bool useStatusNotifierItem = m_statusNotifierItem->isAvailable();
    if (useStatusNotifierItem == usesStatusNotifierItem() && (useStatusNotifierItem || m_fallback)) {
        return;
    }
    if (useStatusNotifierItem) {
        log(LogLevel::Info, lcTray(), "The panel hosts StatusNotifierItems: the status item is one");
        m_fallback.reset();
    } else {
        log(LogLevel::Info, lcTray(),
            "No StatusNotifierItem host: the status item goes into the XEmbed tray");
        m_fallback = m_makeFallback();
        m_fallback->setClickHandler([this](Qt::MouseButton button) { reportClick(button); });
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

} // namespace platform
