#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>

class QProgressBar;
class QVBoxLayout;

namespace zk {

class CocoaLabel;

// A busy indicator over a window while work runs: a spinner and, when `text` is not empty, a
// line of text below it (wrapped at 300 pixels). It blocks its presenter window only, not the rest
// of the application. Escape hides it and calls `onCancel`.
//
// Main-thread only.
class ProgressSpinnerSheet : public QDialog {
    Q_OBJECT
public:
    ProgressSpinnerSheet();

    QString text() const { return m_text; }
    // Empty hides the text line; any other text shows it.
    void setText(const QString& text);

    std::function<void()> onCancel;

    bool isShown() const { return m_isShown; }
    QWidget* presenterWindow() const { return m_presenterWindow; }

    // Attaches the sheet to `presenter`'s window and starts the spinner.
    void showSheet(QWidget* presenter);
    // Detaches it, stops the spinner and clears the text, on the next turn of the event loop.
    void hideSheet();

    QProgressBar* spinner() const { return m_spinner; }
    CocoaLabel* label() const { return m_label; }

protected:
    void reject() override;

private:
    void hideNow();

    QPointer<QWidget> m_presenterWindow;
    QProgressBar* m_spinner;
    CocoaLabel* m_label;
    QVBoxLayout* m_container;
    QString m_text;
    bool m_isShown = false;
};

} // namespace zk
