#include "kit/interface/BoundCheckBox.h"

namespace zk {

BoundCheckBox::BoundCheckBox(
    const QString& title, std::function<bool()> read, std::function<void(bool)> write, QWidget* parent)
    : QCheckBox(title, parent)
    , m_read(std::move(read))
{
    setChecked(m_read());
    connect(this, &QCheckBox::clicked, this, [write = std::move(write)](bool checked) { write(checked); });
}

void BoundCheckBox::showEvent(QShowEvent* event)
{
    // The value may have changed elsewhere while the box was hidden.
    refresh();
    QCheckBox::showEvent(event);
}

void BoundCheckBox::refresh()
{
    const bool value = m_read();
    if (isChecked() != value) {
        setChecked(value);
    }
}

} // namespace zk
