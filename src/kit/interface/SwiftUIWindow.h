#pragma once

#include <QPointer>
#include <QWidget>

namespace zk {

// A general window for one piece of content. It can keep itself on its screen
// (`constrainWindowToScreen`), refuse the keyboard focus (`canBecomeKey` false), and close on
// Escape (`closeOnEsc`). Closing it destroys its content, so the content's resources go with the
// window even when the window object itself lives on.
//
// Main-thread only.
class SwiftUIWindow : public QWidget {
    Q_OBJECT
public:
    explicit SwiftUIWindow(QWidget* content = nullptr, QWidget* parent = nullptr);
    ~SwiftUIWindow() override;

    bool constrainWindowToScreen = false;
    bool closeOnEsc = false;

    bool canBecomeKey() const { return m_canBecomeKey; }
    void setCanBecomeKey(bool canBecomeKey);

    // Replaces the content (the previous one is destroyed); nullptr leaves the window empty.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

    // The frame the window takes for a proposed one on the screen it is on.
    QRect constrainFrameRect(const QRect& proposed) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void applyConstraint();

    QPointer<QWidget> m_content;
    bool m_canBecomeKey = true;
    bool m_constraining = false;
};

} // namespace zk
