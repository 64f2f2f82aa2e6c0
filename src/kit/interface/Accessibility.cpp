#include "kit/interface/Accessibility.h"

#include "kit/interface/AccessibleComboBox.h"
#include "kit/interface/PickerComboBox.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace zk {

namespace {

// Any widget Qt has no more particular account of. Its role is asked each time, not fixed when the
// interface is made: a pane is built as a window of its own and only then put into one.
class WidgetAccessibility : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;

    QAccessible::Role role() const override
    {
        const QWidget* shown = widget();
        if (shown->isWindow()) {
            switch (shown->windowType()) {
            case Qt::Window:
            case Qt::Dialog:
            case Qt::Tool:
                return QAccessible::Window;
            default:
                break;
            }
        }
        return QAccessibleWidget::role();
    }
};

QAccessibleInterface* kitAccessibility(const QString& className, QObject* object)
{
    // Asked for each class of the object from the most derived one on, before Qt's own accounts:
    // a plain widget reaches "QWidget" only when no class of it has an account of its own.
    if (className == QLatin1String(PickerComboBox::staticMetaObject.className())) {
        return new AccessibleComboBox(static_cast<QComboBox*>(object));
    }
    if (className == QLatin1String("QWidget") && object && object->isWidgetType()) {
        return new WidgetAccessibility(static_cast<QWidget*>(object));
    }
    return nullptr;
}

} // namespace

void installAccessibility()
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(kitAccessibility);
    }
}

} // namespace zk
