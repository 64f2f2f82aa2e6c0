#include "kit/foundation/PropertyChangeRelay.h"

namespace zk {

PropertyChangeRelay::PropertyChangeRelay(
    QObject* object, const QMetaProperty& property, std::function<void()> onChange)
    : m_onChange(std::move(onChange))
{
    if (object == nullptr || !property.isValid() || !property.hasNotifySignal()) {
        return;
    }
    const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("changed()"));
    m_connection = connect(object, property.notifySignal(), this, slot);
}

void PropertyChangeRelay::changed()
{
    if (m_onChange) {
        m_onChange();
    }
}

} // namespace zk
