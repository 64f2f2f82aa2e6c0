#include "kit/interface/EqualWidthWithBinding.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <algorithm>

namespace zk {

EqualWidthWithBinding::EqualWidthWithBinding(QObject* parent)
    : QObject(parent)
{
}

void EqualWidthWithBinding::add(QWidget* widget, Qt::Alignment alignment)
{
    if (!widget) {
        return;
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setAlignment(alignment);
    } else if (auto* field = qobject_cast<QLineEdit*>(widget)) {
        field->setAlignment(alignment);
    }
    m_members.emplace_back(widget);
    widget->installEventFilter(this);
    measure();
}

void EqualWidthWithBinding::setWidth(std::optional<int> width)
{
    m_width = width;
    measure();
    apply();
}

void EqualWidthWithBinding::reset()
{
    m_width.reset();
    for (const auto& member : m_members) {
        if (member) {
            member->setMinimumWidth(0);
        }
    }
    measure();
}

bool EqualWidthWithBinding::eventFilter(QObject* watched, QEvent* event)
{
    // A new text or font changes a member's natural width.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::FontChange
        || event->type() == QEvent::Polish) {
        measure();
    }
    return QObject::eventFilter(watched, event);
}

void EqualWidthWithBinding::measure()
{
    int widest = m_width.value_or(0);
    for (const auto& member : m_members) {
        if (member) {
            widest = std::max(widest, member->sizeHint().width());
        }
    }
    const bool grew = !m_width || widest > *m_width;
    if (grew) {
        m_width = widest;
    }
    apply();
    if (grew) {
        emit widthChanged(*m_width);
    }
}

void EqualWidthWithBinding::apply()
{
    if (!m_width) {
        return;
    }
    for (const auto& member : m_members) {
        if (member && member->minimumWidth() != *m_width) {
            member->setMinimumWidth(*m_width);
        }
    }
}

} // namespace zk
