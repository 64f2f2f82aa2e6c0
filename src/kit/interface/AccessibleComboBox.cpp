#include "kit/interface/AccessibleComboBox.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace zk {

AccessibleComboBox::AccessibleComboBox(QComboBox* comboBox)
    : QAccessibleWidget(comboBox, QAccessible::ComboBox)
{
}

QComboBox* AccessibleComboBox::comboBox() const
{
    return static_cast<QComboBox*>(widget());
}

QString AccessibleComboBox::buddyLabelText(const QWidget& widget)
{
    const QWidget* parent = widget.parentWidget();
    if (!parent) {
        return {};
    }
    for (const QLabel* label : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        if (label->buddy() == &widget) {
            QString text = label->text();
            // "&Show:" reads as "Show:", "R&&D" as "R&D".
            text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
            text.remove(u'&');
            text.replace(u'\x01', u'&');
            return text;
        }
    }
    return {};
}

QString AccessibleComboBox::text(QAccessible::Text t) const
{
    const QComboBox* box = comboBox();
    switch (t) {
    case QAccessible::Name: {
        QString name = box->accessibleName();
        if (name.isEmpty()) {
            name = buddyLabelText(*box);
        }
        // A pop-up nobody labelled is known by what it shows, as Qt has it.
        return name.isEmpty() ? text(QAccessible::Value) : name;
    }
    case QAccessible::Value:
        return box->isEditable() && box->lineEdit() ? box->lineEdit()->text() : box->currentText();
    default:
        return QAccessibleWidget::text(t);
    }
}

QAccessible::State AccessibleComboBox::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.expanded = comboBox()->view() && comboBox()->view()->isVisible();
    state.editable = comboBox()->isEditable();
    return state;
}

int AccessibleComboBox::childCount() const
{
    return comboBox()->isEditable() && comboBox()->lineEdit() ? 2 : 1;
}

QAccessibleInterface* AccessibleComboBox::child(int index) const
{
    if (index == 0) {
        return comboBox()->view() ? QAccessible::queryAccessibleInterface(comboBox()->view()) : nullptr;
    }
    if (index == 1 && childCount() == 2) {
        return QAccessible::queryAccessibleInterface(comboBox()->lineEdit());
    }
    return nullptr;
}

int AccessibleComboBox::indexOfChild(const QAccessibleInterface* child) const
{
    if (!child) {
        return -1;
    }
    if (comboBox()->view() && child->object() == comboBox()->view()) {
        return 0;
    }
    if (childCount() == 2 && child->object() == comboBox()->lineEdit()) {
        return 1;
    }
    return -1;
}

QStringList AccessibleComboBox::actionNames() const
{
    return { showMenuAction(), pressAction() };
}

void AccessibleComboBox::doAction(const QString& actionName)
{
    if (actionName != showMenuAction() && actionName != pressAction()) {
        return;
    }
    if (comboBox()->view() && comboBox()->view()->isVisible()) {
        comboBox()->hidePopup();
    } else {
        comboBox()->showPopup();
    }
}

} // namespace zk
