#pragma once

#include "kit/interface/TextBinding.h"

#include <QFont>
#include <QWidget>

#include <optional>

class QLineEdit;
class QPlainTextEdit;

namespace zk {

// A text field bound to a text kept elsewhere: typing writes the text through the binding, update()
// shows the bound text again with the given placeholder, font and look. With `isFirstResponder` it
// takes the keyboard focus once, on the first update after it is in a window; later updates never
// take the focus back from where the user moved it.
//
// `isSingleLine`, read when the field is made, picks its form: one line that scrolls sideways under
// the cursor (a line edit), or plain text that wraps onto further lines and grows to show them (a
// plain-text edit). Both forms end editing alike: Return never enters a line break, it emits
// returnPressed() and editingFinished(); leaving the field after a change emits editingFinished()
// too. Main-thread only.
class NativeTextField : public QWidget {
    Q_OBJECT
public:
    using Binding = TextBinding;
    struct Configuration {
        std::optional<QString> placeholder;
        std::optional<QFont> font;
        bool isFirstResponder = false;
        bool roundedStyle = false;
        bool isSingleLine = true;
    };

    explicit NativeTextField(Binding text, QWidget* parent = nullptr);
    NativeTextField(Binding text, Configuration configuration, QWidget* parent = nullptr);

    // The form is fixed when the field is made: a later `isSingleLine` is kept but changes nothing.
    void update(const Configuration& configuration);
    void update() { update(m_configuration); }

    bool isSingleLine() const { return m_lineEdit != nullptr; }
    QString text() const;
    QString placeholderText() const;
    // The widget that edits: a QLineEdit in the single-line form, a QPlainTextEdit otherwise.
    QWidget* editor() const;
    QLineEdit* lineEdit() const { return m_lineEdit; }
    QPlainTextEdit* plainTextEdit() const { return m_plainTextEdit; }

    bool didBecomeFirstResponder() const { return m_didBecomeFirstResponder; }

Q_SIGNALS:
    void returnPressed();
    void editingFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makeLineEdit();
    void makePlainTextEdit();
    void fitHeightToLines();
    void updateFirstResponder();

    Binding m_text;
    Configuration m_configuration;
    QLineEdit* m_lineEdit = nullptr;
    QPlainTextEdit* m_plainTextEdit = nullptr;
    bool m_didBecomeFirstResponder = false;
    bool m_editedSinceFinished = false;
};

} // namespace zk
