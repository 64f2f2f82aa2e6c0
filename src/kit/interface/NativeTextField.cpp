#include "kit/interface/NativeTextField.h"

#include <QPointer>
#include <QTimer>

namespace zk {

NativeTextField::NativeTextField(Binding text, QWidget* parent)
    : NativeTextField(std::move(text), Configuration(), parent)
{
}

NativeTextField::NativeTextField(Binding text, Configuration configuration, QWidget* parent)
    : QLineEdit(parent)
    , m_text(std::move(text))
{
    connect(this, &QLineEdit::textEdited, this, [this](const QString& typed) {
        if (m_text.set) {
            m_text.set(typed);
        }
    });
    update(configuration);
}

void NativeTextField::update(const Configuration& configuration)
{
    m_configuration = configuration;
    const QString bound = m_text.get ? m_text.get() : QString();
    if (text() != bound) {
        setText(bound);
    }
    setPlaceholderText(configuration.placeholder.value_or(QString()));
    if (configuration.font) {
        setFont(*configuration.font);
    }
    if (configuration.roundedStyle) {
        setStyleSheet(QStringLiteral("QLineEdit { border-radius: 6px; }"));
    }
    // After this turn, once the field has been placed in its window.
    QPointer<NativeTextField> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self) {
            self->updateFirstResponder();
        }
    });
}

void NativeTextField::updateFirstResponder()
{
    if (!m_configuration.isFirstResponder || m_didBecomeFirstResponder || !window() || !isVisible()) {
        return;
    }
    if (hasFocus()) {
        return;
    }
    setFocus(Qt::OtherFocusReason);
    m_didBecomeFirstResponder = true;
}

} // namespace zk
