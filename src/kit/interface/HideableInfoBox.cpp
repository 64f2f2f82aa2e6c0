#include "kit/interface/HideableInfoBox.h"

#include "kit/interface/PersistentlyHideableView.h"
#include "kit/interface/SecondaryTextStyle.h"
#include "kit/interface/SymbolImage.h"
#include "kit/interface/TintedBox.h"
#include "libraries/defaults/Keys.h"
#include "platform/desktop/ReduceMotion.h"

#include <QBoxLayout>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>
#include <QToolButton>

namespace zk {

std::string HideableInfoBox::hiddenKeyName(const std::string& id)
{
    return "ZK__HideableInfoBox__" + id;
}

Defaults::Key<bool> HideableInfoBox::hiddenKey(const std::string& id)
{
    return Defaults::Key<bool>(hiddenKeyName(id), false);
}

HideableInfoBox::HideableInfoBox(std::string id, const QString& message, Options options, QWidget* parent)
    : QWidget(parent)
    , m_id(std::move(id))
    , m_options(std::move(options))
{
    auto* box = new TintedBox(8);
    m_message = new QLabel(message, box);
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SecondaryTextStyleModifier().apply(*m_message);

    m_closeButton = new QToolButton(box);
    m_closeButton->setAutoRaise(true);
    m_closeButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_closeButton->setText(tr("Hide"));
    m_closeButton->setToolTip(tr("Hide"));
    m_closeButton->setAccessibleName(tr("Hide"));
    const QIcon icon = symbolIcon("xmark.circle.fill", 14);
    if (icon.isNull()) {
        m_closeButton->setText(QStringLiteral("×"));
    } else {
        m_closeButton->setIcon(icon);
    }
    connect(m_closeButton, &QToolButton::clicked, this, &HideableInfoBox::close);

    if (!m_options.title) {
        auto* row = new QHBoxLayout(box);
        row->setContentsMargins(12, 10, 12, 10);
        row->addWidget(m_message, 1);
        if (m_options.fillHorizontally) {
            row->addStretch(0);
        }
        row->addWidget(
            m_closeButton, 0, m_options.verticallyCenterCloseButton ? Qt::AlignVCenter : Qt::AlignTop);
    } else {
        auto* column = new QVBoxLayout(box);
        column->setContentsMargins(12, 10, 12, 10);
        auto* titleRow = new QHBoxLayout;
        auto* title = new QLabel(*m_options.title, box);
        QFont font = title->font();
        font.setWeight(QFont::DemiBold);
        title->setFont(font);
        if (m_options.centeredTitle) {
            // A spacer as wide as the button keeps the title centred on the box.
            titleRow->addSpacing(m_closeButton->sizeHint().width());
            titleRow->addWidget(title, 1, Qt::AlignHCenter);
        } else {
            titleRow->addWidget(title, 1, Qt::AlignLeft);
        }
        titleRow->addWidget(m_closeButton);
        column->addLayout(titleRow);
        column->addWidget(m_message);
        column->itemAt(1)->widget()->setContentsMargins(0, 2, 0, 2);
    }

    m_hideable = new PersistentlyHideableView(hiddenKey(m_id), box, this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_hideable, m_options.fillHorizontally || m_options.title ? 1 : 0);
    if (!m_options.fillHorizontally && !m_options.title) {
        layout->addStretch(1);
    }
}

QString HideableInfoBox::message() const
{
    return m_message->text();
}

bool HideableInfoBox::isClosed() const
{
    return m_hideable->isHiddenForGood();
}

void HideableInfoBox::close()
{
    if (!m_options.animated || platform::ReduceMotion::isEnabled()) {
        m_hideable->hide();
        return;
    }
    // Fade out with a spring's overshoot, then hide for good.
    auto* effect = new QGraphicsOpacityEffect(m_hideable);
    m_hideable->setGraphicsEffect(effect);
    auto* fade = new QPropertyAnimation(effect, "opacity", m_hideable);
    fade->setDuration(550);
    fade->setStartValue(1.0);
    fade->setEndValue(0.0);
    fade->setEasingCurve(QEasingCurve::OutBack);
    connect(fade, &QPropertyAnimation::finished, m_hideable, [hideable = m_hideable] {
        hideable->hide();
        hideable->setGraphicsEffect(nullptr);
    });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace zk
