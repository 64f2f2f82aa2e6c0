#include "kit/interface/NonInteractiveImageView.h"

namespace zk {

NonInteractiveImageView::NonInteractiveImageView(QWidget* parent)
    : QLabel(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setTextInteractionFlags(Qt::NoTextInteraction);
}

NonInteractiveImageView::NonInteractiveImageView(const QPixmap& image, QWidget* parent)
    : NonInteractiveImageView(parent)
{
    setPixmap(image);
}

} // namespace zk
