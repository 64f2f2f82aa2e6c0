#include "kit/interface/LabelButton.h"

namespace zk {

LabelButton::LabelButton(const QString& title, QWidget* parent)
    : QPushButton(title, parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

} // namespace zk
