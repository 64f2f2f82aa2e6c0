#include "kit/interface/AutoselectOnFocusTextField.h"

#include <QPointer>
#include <QTimer>

namespace zk {

void AutoselectOnFocusTextField::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    QPointer<AutoselectOnFocusTextField> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self && self->hasFocus()) {
            self->selectAll();
        }
    });
}

} // namespace zk
