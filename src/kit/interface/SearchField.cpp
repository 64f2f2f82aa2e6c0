#include "kit/interface/SearchField.h"

#include "kit/interface/SymbolImage.h"

#include <QApplication>
#include <QShowEvent>

namespace zk {

namespace {

// Focus for a field that has just been placed in its window (not for a window shown again).
void focusOnFirstShow(QLineEdit& field, QShowEvent* event)
{
    if (!event->spontaneous() && field.window()->isVisible()) {
        field.setFocus(Qt::OtherFocusReason);
    }
}

} // namespace

SearchField::SearchField(Binding text, QWidget* parent)
    : SearchField(std::move(text), Configuration(), parent)
{
}

SearchField::SearchField(Binding text, Configuration configuration, QWidget* parent)
    : QLineEdit(parent)
    , m_text(std::move(text))
{
    setClearButtonEnabled(true);
    const QIcon magnifier = symbolIcon("magnifyingglass", 14);
    if (!magnifier.isNull()) {
        addAction(magnifier, QLineEdit::LeadingPosition);
    }
    connect(this, &QLineEdit::textEdited, this, [this](const QString& typed) {
        if (m_text.set) {
            m_text.set(typed);
        }
    });
    update(configuration);
}

void SearchField::update(const Configuration& configuration)
{
    m_configuration = configuration;
    setAutoFillBackground(configuration.drawsBackground);
    setPlaceholderText(configuration.placeholder.value_or(QString()));
    const QString bound = m_text.get ? m_text.get() : QString();
    if (text() != bound) {
        setText(bound);
    }
    if (configuration.fontSize) {
        QFont font = QApplication::font();
        font.setPointSizeF(*configuration.fontSize);
        setFont(font);
    }
    setFrame(!configuration.isPlainStyle);
    setAttribute(Qt::WA_MacShowFocusRect, !configuration.isPlainStyle);
}

void SearchField::showEvent(QShowEvent* event)
{
    QLineEdit::showEvent(event);
    focusOnFirstShow(*this, event);
}

void AutofocusedTextField::showEvent(QShowEvent* event)
{
    QLineEdit::showEvent(event);
    focusOnFirstShow(*this, event);
}

} // namespace zk
