#pragma once

#include <QLabel>

namespace zk {

// A label whose text colour follows its enabled state: the ordinary text colour when enabled, the
// secondary (placeholder) colour when disabled. It sizes itself to its text when it is put into
// another widget.
class CocoaLabel : public QLabel {
    Q_OBJECT
public:
    explicit CocoaLabel(const QString& text = QString(), QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColor();
};

} // namespace zk
