#include "kit/interface/Accessibility.h"

#include "kit/interface/AccessibilityBusGuard.h"
#include "kit/interface/AccessibleComboBox.h"
#include "kit/interface/AccessibleHeaderlessTable.h"
#include "kit/interface/HeaderlessTableView.h"
#include "kit/interface/PickerComboBox.h"
#include "kit/interface/SettingsTabButton.h"

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

// A pane button of a settings window: a page tab, selected while its pane shows, rather than the
// check box Qt takes a checkable button for.
class SettingsTabButtonAccessibility : public QAccessibleWidget {
public:
    explicit SettingsTabButtonAccessibility(SettingsTabButton* button)
        : QAccessibleWidget(button, QAccessible::PageTab)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return button()->text();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = true;
        state.selected = button()->isChecked();
        return state;
    }

    QStringList actionNames() const override { return { pressAction() }; }

    void doAction(const QString& actionName) override
    {
        if (actionName == pressAction()) {
            button()->click();
        }
    }

private:
    SettingsTabButton* button() const { return static_cast<SettingsTabButton*>(widget()); }
};

QAccessibleInterface* kitAccessibility(const QString& className, QObject* object)
{
    // Asked for each class of the object from the most derived one on, before Qt's own accounts:
    // a plain widget reaches "QWidget" only when no class of it has an account of its own.
    if (className == QLatin1String(PickerComboBox::staticMetaObject.className())) {
        return new AccessibleComboBox(static_cast<QComboBox*>(object));
    }
    if (className == QLatin1String(HeaderlessTableView::staticMetaObject.className())) {
        return new AccessibleHeaderlessTable(static_cast<HeaderlessTableView*>(object));
    }
    if (className == QLatin1String(SettingsTabButton::staticMetaObject.className())) {
        return new SettingsTabButtonAccessibility(static_cast<SettingsTabButton*>(object));
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
        AccessibilityBusGuard::install();
    }
}

} // namespace zk
