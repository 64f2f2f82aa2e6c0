#pragma once

#include <QLabel>

namespace zk {

// A text in Markdown whose links the keyboard reaches: Tab goes from link to link and on to the next
// control after the last, Shift+Tab back to the control before the first, and Return opens the
// marked link (`linkActivated`, as a click does). A screen reader reads its words, not the markup
// and the links' addresses. Main-thread only.
class LinksLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinksLabel(QWidget* parent = nullptr);

    void setMarkdown(const QString& markdown);
    // The text as read, without markup ("Example use-cases\nLet me know…").
    static QString plainText(const QString& markdown);

protected:
    void focusInEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    QString m_firstLink;
};

} // namespace zk
