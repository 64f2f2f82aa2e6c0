#include "kit/interface/CocoaLabel.h"

#include <QEvent>

namespace zk {

CocoaLabel::CocoaLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    applyColor();
}

void CocoaLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        applyColor();
    } else if (event->type() == QEvent::ParentChange && parentWidget()) {
        adjustSize();
    }
}

void CocoaLabel::applyColor()
{
    setForegroundRole(isEnabled() ? QPalette::WindowText : QPalette::PlaceholderText);
}

} // namespace zk
