#include "kit/interface/LinksLabel.h"

#include <QFocusEvent>
#include <QTextBlock>
#include <QTextDocument>

namespace zk {

namespace {

// The shown text of the first link, as selectedText() gives it while the link is marked.
QString firstLinkText(const QString& markdown)
{
    QTextDocument document;
    document.setMarkdown(markdown);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            if (fragment.fragment().charFormat().isAnchor()) {
                return fragment.fragment().text();
            }
        }
    }
    return {};
}

} // namespace

LinksLabel::LinksLabel(QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::MarkdownText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
}

QString LinksLabel::plainText(const QString& markdown)
{
    QTextDocument document;
    document.setMarkdown(markdown);
    QString text = document.toPlainText();
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

void LinksLabel::setMarkdown(const QString& markdown)
{
    setText(markdown);
    setAccessibleName(plainText(markdown));
    m_firstLink = firstLinkText(markdown);
}

void LinksLabel::focusInEvent(QFocusEvent* event)
{
    QLabel::focusInEvent(event);
    // Qt marks no link when Tab or Shift+Tab arrives, which costs a key that does nothing visible:
    // the first link (or the last, coming back) is marked at once.
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason) {
        setSelection(0, 0);
        QLabel::focusNextPrevChild(event->reason() == Qt::TabFocusReason);
    }
}

bool LinksLabel::focusNextPrevChild(bool next)
{
    // Qt finds no way back from a link at the very start of the text and keeps Shift+Tab on it.
    if (!next && !m_firstLink.isEmpty() && selectedText() == m_firstLink) {
        return QWidget::focusNextPrevChild(false);
    }
    return QLabel::focusNextPrevChild(next);
}

} // namespace zk
