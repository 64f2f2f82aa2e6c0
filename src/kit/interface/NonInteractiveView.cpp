#include "kit/interface/NonInteractiveView.h"

namespace zk {

NonInteractiveView::NonInteractiveView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

} // namespace zk
