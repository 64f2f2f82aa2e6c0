#pragma once

#include <QSizeF>
#include <QWidget>

#include <memory>

namespace zk {

// A view that draws its content magnified: at scale 2 one unit of the content covers two pixels,
// and the content is laid out in the view's size divided by the scale. Each change of scale
// starts from unit scale, so scaling by 2 and then by 3 gives 3. A size that is not finite is
// refused: nothing changes and the error is reported.
//
// The content is drawn, not placed on screen: it receives no input, and it is redrawn when the
// view is (call update() after changing it).
//
// Main-thread only.
class ScalableView : public QWidget {
    Q_OBJECT
public:
    explicit ScalableView(QWidget* parent = nullptr);
    ~ScalableView() override;

    // Takes the widget (it must have no parent); replaces and deletes an earlier one.
    void setContentWidget(QWidget* content);
    QWidget* contentWidget() const { return m_content.get(); }

    // The horizontal factor.
    double scale() const { return m_scale.width(); }
    // The same factor both ways.
    void setScale(double value);
    void scaleTo(const QSizeF& size);
    QSizeF scaleSize() const { return m_scale; }

    // The size the content is laid out in.
    QSize contentSize() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layOutContent();

    QSizeF m_scale { 1, 1 };
    std::unique_ptr<QWidget> m_content;
};

} // namespace zk
