#include "kit/interface/ProgressSpinnerSheet.h"

#include "kit/interface/CocoaLabel.h"

#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace zk {

ProgressSpinnerSheet::ProgressSpinnerSheet()
    : QDialog(nullptr, Qt::Sheet)
    , m_spinner(new QProgressBar)
    , m_label(new CocoaLabel)
    , m_container(new QVBoxLayout(this))
{
    // No range: the bar shows that work goes on without saying how much.
    m_spinner->setRange(0, 0);
    m_spinner->setTextVisible(false);
    m_label->hide();
    m_label->setWordWrap(true);
    m_label->setMaximumWidth(300);
    m_label->setAlignment(Qt::AlignHCenter);
    m_container->setContentsMargins(80, 30, 80, 30);
    m_container->setSpacing(20);
    m_container->addWidget(m_spinner, 0, Qt::AlignHCenter);
    m_container->addWidget(m_label, 0, Qt::AlignHCenter);
    m_container->setSizeConstraint(QLayout::SetFixedSize);
    setWindowModality(Qt::WindowModal);
}

void ProgressSpinnerSheet::setText(const QString& text)
{
    m_text = text;
    m_label->setText(text);
    m_label->setVisible(!text.isEmpty());
}

void ProgressSpinnerSheet::showSheet(QWidget* presenter)
{
    m_presenterWindow = presenter ? presenter->window() : nullptr;
    setParent(m_presenterWindow, windowFlags() | Qt::Sheet);
    setWindowModality(Qt::WindowModal);
    m_spinner->setRange(0, 0);
    m_isShown = true;
    open();
}

void ProgressSpinnerSheet::hideSheet()
{
    QTimer::singleShot(0, this, [this] { hideNow(); });
}

void ProgressSpinnerSheet::hideNow()
{
    if (isVisible()) {
        QDialog::done(QDialog::Rejected);
    }
    // A range stops the busy animation.
    m_spinner->setRange(0, 1);
    m_isShown = false;
    setText(QString());
}

// Escape, and closing the sheet, come here.
void ProgressSpinnerSheet::reject()
{
    hideSheet();
    if (onCancel) {
        onCancel();
    }
}

} // namespace zk
