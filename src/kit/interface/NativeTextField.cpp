#include "kit/interface/NativeTextField.h"

#include <QAbstractTextDocumentLayout>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace zk {

NativeTextField::NativeTextField(Binding text, QWidget* parent)
    : NativeTextField(std::move(text), Configuration(), parent)
{
}

NativeTextField::NativeTextField(Binding text, Configuration configuration, QWidget* parent)
    : QWidget(parent)
    , m_text(std::move(text))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (configuration.isSingleLine) {
        makeLineEdit();
    } else {
        makePlainTextEdit();
    }
    layout->addWidget(editor());
    setFocusProxy(editor());
    setSizePolicy(editor()->sizePolicy());
    update(configuration);
}

void NativeTextField::makeLineEdit()
{
    m_lineEdit = new QLineEdit(this);
    connect(m_lineEdit, &QLineEdit::textEdited, this, [this](const QString& typed) {
        if (m_text.set) {
            m_text.set(typed);
        }
    });
    connect(m_lineEdit, &QLineEdit::returnPressed, this, &NativeTextField::returnPressed);
    connect(m_lineEdit, &QLineEdit::editingFinished, this, &NativeTextField::editingFinished);
}

void NativeTextField::makePlainTextEdit()
{
    m_plainTextEdit = new QPlainTextEdit(this);
    m_plainTextEdit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_plainTextEdit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // A field, not a document: Tab moves on, and the field grows to its lines instead of scrolling.
    m_plainTextEdit->setTabChangesFocus(true);
    // About a line edit's inner margin, so that one line of either form stands as high.
    m_plainTextEdit->document()->setDocumentMargin(2);
    m_plainTextEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_plainTextEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_plainTextEdit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_plainTextEdit->installEventFilter(this);
    // Only the user's typing goes to the binding, as with the line edit's textEdited: a text shown
    // by update() is not written back.
    connect(m_plainTextEdit, &QPlainTextEdit::textChanged, this, [this] {
        m_editedSinceFinished = true;
        if (m_text.set) {
            m_text.set(m_plainTextEdit->toPlainText());
        }
    });
    connect(m_plainTextEdit->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged,
        this, &NativeTextField::fitHeightToLines);
    fitHeightToLines();
}

QString NativeTextField::text() const
{
    return m_lineEdit ? m_lineEdit->text() : m_plainTextEdit->toPlainText();
}

QString NativeTextField::placeholderText() const
{
    return m_lineEdit ? m_lineEdit->placeholderText() : m_plainTextEdit->placeholderText();
}

QWidget* NativeTextField::editor() const
{
    return m_lineEdit ? static_cast<QWidget*>(m_lineEdit) : m_plainTextEdit;
}

void NativeTextField::update(const Configuration& configuration)
{
    m_configuration = configuration;
    const QString bound = m_text.get ? m_text.get() : QString();
    const QString placeholder = configuration.placeholder.value_or(QString());
    if (m_lineEdit) {
        if (m_lineEdit->text() != bound) {
            m_lineEdit->setText(bound);
        }
        m_lineEdit->setPlaceholderText(placeholder);
    } else {
        if (m_plainTextEdit->toPlainText() != bound) {
            const QSignalBlocker quiet(m_plainTextEdit);
            m_plainTextEdit->setPlainText(bound);
            // Where a line edit leaves the cursor after a new text.
            m_plainTextEdit->moveCursor(QTextCursor::End);
        }
        m_plainTextEdit->setPlaceholderText(placeholder);
    }
    if (configuration.font) {
        editor()->setFont(*configuration.font);
        fitHeightToLines();
    }
    if (configuration.roundedStyle) {
        // A radius alone would drop the style's frame and leave no border to round.
        editor()->setStyleSheet(
            QStringLiteral("%1 { border: 1px solid palette(mid); border-radius: 6px; padding: 1px 3px;"
                           " background: palette(base); } %1:focus { border-color: palette(highlight); }")
                .arg(QLatin1String(editor()->metaObject()->className())));
    }
    // After this turn, once the field has been placed in its window.
    QPointer<NativeTextField> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self) {
            self->updateFirstResponder();
        }
    });
}

bool NativeTextField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_plainTextEdit) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Q_EMIT returnPressed();
            m_editedSinceFinished = false;
            Q_EMIT editingFinished();
            return true;
        }
        break;
    }
    case QEvent::FocusOut:
        // As a line edit: leaving ends the editing only after a change, and a context menu opened
        // on the field does not end it.
        if (m_editedSinceFinished && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
            m_editedSinceFinished = false;
            Q_EMIT editingFinished();
        }
        break;
    case QEvent::Resize:
        // The new width re-wraps the lines only once the edit has handled its resize.
        QMetaObject::invokeMethod(this, &NativeTextField::fitHeightToLines, Qt::QueuedConnection);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void NativeTextField::fitHeightToLines()
{
    if (!m_plainTextEdit) {
        return;
    }
    QTextDocument* document = m_plainTextEdit->document();
    qreal linesHeight = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        linesHeight += document->documentLayout()->blockBoundingRect(block).height();
    }
    linesHeight = std::max(linesHeight, qreal(m_plainTextEdit->fontMetrics().lineSpacing()));
    const QMargins margins = m_plainTextEdit->contentsMargins();
    const int height
        = int(std::ceil(linesHeight + 2 * document->documentMargin())) + margins.top() + margins.bottom();
    if (m_plainTextEdit->height() != height || m_plainTextEdit->minimumHeight() != height) {
        m_plainTextEdit->setFixedHeight(height);
    }
}

void NativeTextField::updateFirstResponder()
{
    if (!m_configuration.isFirstResponder || m_didBecomeFirstResponder || !window() || !isVisible()) {
        return;
    }
    if (editor()->hasFocus()) {
        return;
    }
    editor()->setFocus(Qt::OtherFocusReason);
    m_didBecomeFirstResponder = true;
}

} // namespace zk
