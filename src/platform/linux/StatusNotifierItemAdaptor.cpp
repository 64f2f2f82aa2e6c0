#include "platform/linux/StatusNotifierItemAdaptor.h"

#include "platform/Logger.h"
#include "platform/linux/BusCallQueue.h"

namespace platform {

StatusNotifierItemAdaptor::StatusNotifierItemAdaptor(QObject* parent, QString id, QString title)
    : QDBusAbstractAdaptor(parent)
    , m_id(std::move(id))
    , m_title(std::move(title))
{
}

void StatusNotifierItemAdaptor::setStatus(const QString& status)
{
    if (status == m_status) {
        return;
    }
    m_status = status;
    emit NewStatus(status);
    if (m_attentionIconUntold && status == attentionStatus()) {
        m_attentionIconUntold = false;
        emit NewAttentionIcon();
    }
}

void StatusNotifierItemAdaptor::setIconPixmaps(const StatusNotifierIconPixmaps& pixmaps)
{
    if (pixmaps == m_iconPixmaps) {
        return;
    }
    m_iconPixmaps = pixmaps;
    emit NewIcon();
    // The attention icon is the same picture, shown only while the item needs attention. Hosts read
    // the item again for each change signal, so telling it with every figure of the minute would
    // double what the panel asks; it is told when the item comes to need attention instead.
    if (m_status == attentionStatus()) {
        emit NewAttentionIcon();
    } else {
        m_attentionIconUntold = true;
    }
}

void StatusNotifierItemAdaptor::setToolTip(const StatusNotifierToolTip& toolTip)
{
    if (toolTip == m_toolTip) {
        return;
    }
    m_toolTip = toolTip;
    emit NewToolTip();
}

void StatusNotifierItemAdaptor::setLabel(const QString& label, const QString& guide)
{
    if (label == m_label && guide == m_labelGuide) {
        return;
    }
    m_label = label;
    m_labelGuide = guide;
    emit XAyatanaNewLabel(label, guide);
}

void StatusNotifierItemAdaptor::Activate(int x, int y)
{
    click(Qt::LeftButton, x, y);
}

void StatusNotifierItemAdaptor::SecondaryActivate(int x, int y)
{
    click(Qt::MiddleButton, x, y);
}

void StatusNotifierItemAdaptor::ContextMenu(int x, int y)
{
    click(Qt::RightButton, x, y);
}

void StatusNotifierItemAdaptor::Scroll(int delta, const QString& orientation)
{
    // The item has nothing to scroll through; the call still waits for its turn, as every call does.
    if (BusCallQueue::answerInTurn(
            this, BusCallQueue::Effect::none, [](const QDBusMessage& call) { return call.createReply(); })) {
        return;
    }
    log(LogLevel::Debug, lcTray(),
        "Scroll on the status item ignored: " + std::to_string(delta) + " " + orientation.toStdString());
}

void StatusNotifierItemAdaptor::click(Qt::MouseButton button, int x, int y)
{
    const auto handle = [this, button, x, y] {
        if (m_clickHandler) {
            m_clickHandler(button, x, y);
        }
    };
    if (!BusCallQueue::answerInTurn(
            this, BusCallQueue::Effect::changesState, [handle](const QDBusMessage& call) {
                handle();
                return call.createReply();
            })) {
        handle();
    }
}

} // namespace platform
