#pragma once

#include <QPointer>
#include <QToolButton>

#include <functional>
#include <optional>

class QFrame;

namespace zk {

// The round help button ("?") that opens a popover under itself with an explanation. A click
// elsewhere closes the popover; a click on the button while it is open leaves it open.
// Main-thread only.
class InfoPopoverButton : public QToolButton {
    Q_OBJECT
public:
    using Content = std::function<QWidget*()>;

    // `content` builds the popover's content each time it opens. With `maxWidth` the content is
    // given exactly that width and its text wraps there.
    InfoPopoverButton(std::optional<int> maxWidth, Content content, std::function<void(bool)> onAction = {},
        QWidget* parent = nullptr);
    // A popover of a text.
    InfoPopoverButton(std::optional<int> maxWidth, const QString& text, QWidget* parent = nullptr);
    ~InfoPopoverButton() override;

    bool isPopoverPresented() const;
    // The open popover, or null.
    QFrame* popover() const { return m_popover; }

    void presentPopover();

protected:
    // A click on the button reaches the open popover first, which would close on it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void clickedWhileOpen();

    std::optional<int> m_maxWidth;
    Content m_content;
    std::function<void(bool)> m_onAction;
    QPointer<QFrame> m_popover;
    bool m_pressedWhileOpen = false;
};

} // namespace zk
