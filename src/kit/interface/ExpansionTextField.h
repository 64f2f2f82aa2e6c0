#pragma once

#include <QLabel>

namespace zk {

// A one-line label that, when its text does not fit, ends it with "…" and offers the whole text
// as its tooltip; while the text fits it has no tooltip. The tooltip follows every resize and
// every setText() of this class. Layouts may shrink it below its text's width.
//
// Main-thread only.
class ExpansionTextField : public QLabel {
    Q_OBJECT
public:
    explicit ExpansionTextField(const QString& text = {}, QWidget* parent = nullptr);

    // Hides QLabel::setText so that the tooltip follows the new text at once.
    void setText(const QString& text);

    // Whether the text is cut short at the current width.
    bool isTruncated() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int availableWidth() const;
    void updateToolTip();
};

} // namespace zk
