#pragma once

#include "kit/interface/TextBinding.h"

#include <QFont>
#include <QLineEdit>

#include <functional>
#include <optional>

namespace zk {

// A single-line text field bound to a text kept elsewhere: typing writes the text through the
// binding, update() shows the bound text again with the given placeholder, font and look. With
// `isFirstResponder` it takes the keyboard focus once, on the first update after it is in a window;
// later updates never take the focus back from where the user moved it. Main-thread only.
class NativeTextField : public QLineEdit {
    Q_OBJECT
public:
    using Binding = TextBinding;
    struct Configuration {
        std::optional<QString> placeholder;
        std::optional<QFont> font;
        bool isFirstResponder = false;
        bool roundedStyle = false;
    };

    explicit NativeTextField(Binding text, QWidget* parent = nullptr);
    NativeTextField(Binding text, Configuration configuration, QWidget* parent = nullptr);

    void update(const Configuration& configuration);
    void update() { update(m_configuration); }

    bool didBecomeFirstResponder() const { return m_didBecomeFirstResponder; }

private:
    void updateFirstResponder();

    Binding m_text;
    Configuration m_configuration;
    bool m_didBecomeFirstResponder = false;
};

} // namespace zk
