#pragma once

#include <QLineEdit>

namespace zk {

// A text field that selects its whole text whenever it gains keyboard focus, on the event loop's
// next turn (after the click that gave it focus has placed the cursor). Main-thread only.
class AutoselectOnFocusTextField : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override;
};

} // namespace zk
