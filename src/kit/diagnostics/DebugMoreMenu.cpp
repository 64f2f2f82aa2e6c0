#include "kit/diagnostics/DebugMoreMenu.h"

#include "platform/desktop/MaterialDesignIcons.h"

#include <QIcon>
#include <QMenu>
#include <QPixmap>

namespace zk {

DebugMoreMenu::DebugMoreMenu(std::function<bool()> hasContent, std::function<void()> copy,
    std::function<void()> clear, QWidget* parent)
    : QToolButton(parent)
    , m_hasContent(std::move(hasContent))
{
    setText(QStringLiteral("More"));
    setToolTip(QStringLiteral("More"));
    setPopupMode(QToolButton::InstantPopup);
    setAutoRaise(true);
    const QImage image = platform::MaterialDesignIcons::render(
        "dots-horizontal", 16, devicePixelRatioF(), palette().color(QPalette::ButtonText));
    if (!image.isNull()) {
        setIcon(QIcon(QPixmap::fromImage(image)));
        setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    auto* menu = new QMenu(this);
    m_copy = menu->addAction(QStringLiteral("Copy"), this, std::move(copy));
    menu->addSeparator();
    m_clear = menu->addAction(QStringLiteral("Clear"), this, std::move(clear));
    connect(menu, &QMenu::aboutToShow, this, &DebugMoreMenu::refresh);
    setMenu(menu);
    refresh();
}

void DebugMoreMenu::refresh()
{
    const bool enabled = m_hasContent && m_hasContent();
    m_copy->setEnabled(enabled);
    m_clear->setEnabled(enabled);
}

} // namespace zk
