#include "platform/linux/DBusCallContext.h"

#include "platform/linux/SignalPipe.h"

#include <QEvent>

namespace platform {

bool DBusCallContext::event(QEvent* event)
{
    if (event->type() == QEvent::MetaCall) {
        SignalPipe::deliverPending();
    }
    return QObject::event(event);
}

} // namespace platform
