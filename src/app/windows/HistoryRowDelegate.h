#pragma once

#include <QStyledItemDelegate>

namespace kiruvo {

// Draws the History list's rows: a day's title row as its title with the day's total at the right,
// a session row as its duration in a large type over its time range in a small one.
//
// Main-thread only.
class HistoryRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int sessionRowHeight = 70;
    static constexpr int dayRowHeight = 34;
    static constexpr int horizontalInset = 16;

    explicit HistoryRowDelegate(QObject* parent = nullptr);

    void paint(
        QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace kiruvo
