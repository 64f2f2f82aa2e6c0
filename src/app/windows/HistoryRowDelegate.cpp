#include "app/windows/HistoryRowDelegate.h"

#include "app/windows/HistoryListModel.h"
#include "kit/foundation/SecondaryTextColor.h"

#include <QApplication>
#include <QPainter>

namespace kiruvo {

namespace {

QFont scaledFont(const QFont& base, double factor, QFont::Weight weight)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setWeight(weight);
    return font;
}

} // namespace

HistoryRowDelegate::HistoryRowDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QSize HistoryRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto kind = static_cast<HistoryListModel::Kind>(index.data(HistoryListModel::KindRole).toInt());
    return { option.rect.width(), kind == HistoryListModel::Kind::day ? dayRowHeight : sessionRowHeight };
}

void HistoryRowDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto kind = static_cast<HistoryListModel::Kind>(index.data(HistoryListModel::KindRole).toInt());
    const QString title = index.data(HistoryListModel::TitleRole).toString();
    const QString detail = index.data(HistoryListModel::DetailRole).toString();
    const QPalette& palette = option.palette;
    const QRect area = option.rect.adjusted(horizontalInset, 0, -horizontalInset, 0);

    painter->save();
    if (kind == HistoryListModel::Kind::day) {
        painter->fillRect(option.rect, palette.brush(QPalette::Active, QPalette::Window));
        painter->setFont(scaledFont(option.font, 1.0, QFont::DemiBold));
        // Title rows cannot be selected, but they are not disabled text.
        painter->setPen(palette.color(QPalette::Active, QPalette::WindowText));
        painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter, title);
        painter->setFont(scaledFont(option.font, 1.0, QFont::Normal));
        painter->setPen(zk::secondaryTextColor(palette, QPalette::WindowText, QPalette::Window));
        painter->drawText(area, Qt::AlignRight | Qt::AlignVCenter, detail);
        painter->restore();
        return;
    }

    // The background of the row (alternating, selected under the pointer) as the style draws it.
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, widget);

    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QFont titleFont = scaledFont(option.font, 1.25, QFont::Normal);
    const QFont detailFont = scaledFont(option.font, 0.9, QFont::Normal);
    const QFontMetrics titleMetrics(titleFont);
    const QFontMetrics detailMetrics(detailFont);
    const int spacing = 4;
    const int height = titleMetrics.height() + spacing + detailMetrics.height();
    // Centred, one point higher.
    const int top = area.top() + (area.height() - height) / 2 - 1;
    painter->setFont(titleFont);
    painter->setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(QRect(area.left(), top, area.width(), titleMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter, titleMetrics.elidedText(title, Qt::ElideRight, area.width()));
    painter->setFont(detailFont);
    painter->drawText(
        QRect(area.left(), top + titleMetrics.height() + spacing, area.width(), detailMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter, detailMetrics.elidedText(detail, Qt::ElideRight, area.width()));
    // Where the keyboard is: the style's focus mark around the current row.
    if (option.state.testFlag(QStyle::State_HasFocus)) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = option.rect.adjusted(1, 1, -1, -1);
        focus.state |= QStyle::State_Item;
        focus.backgroundColor = palette.color(selected ? QPalette::Highlight : QPalette::Base);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
    painter->restore();
}

} // namespace kiruvo
