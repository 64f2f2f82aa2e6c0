#pragma once

#include <QObject>
#include <QPointer>

#include <optional>
#include <vector>

class QWidget;

namespace zk {

// Makes several widgets as wide as the widest of them, say a column of labels or buttons that
// should line up: each member's natural width raises the group's width, and every member is given
// at least that width. The width only grows (until reset()), also when a member becomes narrower.
// A width preset with setWidth() holds unless a member needs more. Main-thread only.
class EqualWidthWithBinding : public QObject {
    Q_OBJECT
public:
    explicit EqualWidthWithBinding(QObject* parent = nullptr);

    // Adds a member, aligned in its wider room as `alignment` says (text alignment where it has
    // one).
    void add(QWidget* widget, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);

    std::optional<int> width() const { return m_width; }
    void setWidth(std::optional<int> width);
    // Forgets the width; the members' natural widths decide again.
    void reset();

signals:
    void widthChanged(int width);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void measure();
    void apply();

    std::vector<QPointer<QWidget>> m_members;
    std::optional<int> m_width;
};

} // namespace zk
