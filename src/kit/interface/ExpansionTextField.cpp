#include "kit/interface/ExpansionTextField.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace zk {

ExpansionTextField::ExpansionTextField(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    updateToolTip();
}

void ExpansionTextField::setText(const QString& text)
{
    QLabel::setText(text);
    updateToolTip();
}

int ExpansionTextField::availableWidth() const
{
    return std::max(0, contentsRect().width() - 2 * std::max(0, margin()) - std::max(0, indent()));
}

bool ExpansionTextField::isTruncated() const
{
    return fontMetrics().horizontalAdvance(text()) > availableWidth();
}

QSize ExpansionTextField::minimumSizeHint() const
{
    const QSize hint = QLabel::minimumSizeHint();
    const QMargins margins = contentsMargins();
    return { fontMetrics().horizontalAdvance(QStringLiteral("\u2026")) + margins.left() + margins.right()
            + 2 * std::max(0, margin()),
        hint.height() };
}

void ExpansionTextField::paintEvent(QPaintEvent* event)
{
    if (!isTruncated()) {
        QLabel::paintEvent(event);
        return;
    }
    QFrame::paintEvent(event);
    QPainter painter(this);
    QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    if (indent() > 0) {
        area.setLeft(area.left() + indent());
    }
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    QStyleOption option;
    option.initFrom(this);
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()).toInt(),
        option.palette, isEnabled(), shown, foregroundRole());
}

void ExpansionTextField::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    updateToolTip();
}

void ExpansionTextField::updateToolTip()
{
    setToolTip(isTruncated() ? text() : QString());
}

} // namespace zk
