#include "kit/interface/PersistentlyHideableView.h"

#include <QVBoxLayout>

namespace zk {

PersistentlyHideableView::PersistentlyHideableView(
    const Defaults::Key<bool>& isHidden, QWidget* content, QWidget* parent)
    : QWidget(parent)
    , m_observable(new Defaults::Observable<bool>(isHidden, this))
    , m_content(content)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_content);
    connect(m_observable, &Defaults::ObservableBase::objectWillChange, this,
        &PersistentlyHideableView::refresh, Qt::QueuedConnection);
    refresh();
}

void PersistentlyHideableView::hide()
{
    m_observable->setValue(true);
    refresh();
}

void PersistentlyHideableView::refresh()
{
    // Hidden, the view takes no room in its layout.
    setVisible(!m_observable->value());
}

} // namespace zk
