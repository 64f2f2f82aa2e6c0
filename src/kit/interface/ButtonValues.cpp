#include "kit/interface/ButtonValues.h"

#include <QCheckBox>
#include <QPushButton>

namespace zk {

QPushButton* makeButton(const QString& title, QWidget* parent)
{
    return new QPushButton(title, parent);
}

bool boolValue(const QAbstractButton& button)
{
    if (const auto* box = qobject_cast<const QCheckBox*>(&button)) {
        return box->checkState() != Qt::Unchecked;
    }
    return button.isChecked();
}

void setBoolValue(QAbstractButton& button, bool value)
{
    if (auto* box = qobject_cast<QCheckBox*>(&button)) {
        box->setCheckState(value ? Qt::Checked : Qt::Unchecked);
        return;
    }
    if (button.isCheckable()) {
        button.setChecked(value);
    }
}

} // namespace zk
