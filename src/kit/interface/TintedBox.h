#pragma once

#include <QWidget>

namespace zk {

// A background for notes and warnings: the text colour at 5 % opacity in a rounded rectangle.
// Main-thread only.
class TintedBox : public QWidget {
    Q_OBJECT
public:
    explicit TintedBox(double cornerRadius, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_cornerRadius;
};

} // namespace zk
