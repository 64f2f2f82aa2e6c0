#include "kit/interface/ControlAlignment.h"

#include <QGridLayout>
#include <QLabel>

namespace zk {

ControlAlignment::ControlAlignment(QWidget* parent)
    : QWidget(parent)
    , m_grid(new QGridLayout(this))
{
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setColumnStretch(1, 1);
}

void ControlAlignment::addRow(QWidget* label, QWidget* control, bool labelsHidden)
{
    if (label) {
        label->setParent(this);
        label->setVisible(!labelsHidden);
        m_grid->addWidget(label, m_rows, 0, Qt::AlignRight | Qt::AlignBaseline);
        // The row's label names its control for a screen reader, shown or not.
        if (auto* text = qobject_cast<QLabel*>(label); text && control && !text->buddy()) {
            text->setBuddy(control);
        }
    }
    if (control) {
        m_grid->addWidget(control, m_rows, 1, Qt::AlignLeft | Qt::AlignBaseline);
    }
    ++m_rows;
}

} // namespace zk
