#pragma once

#include "kit/interface/TextBinding.h"

#include <QLineEdit>

#include <functional>
#include <optional>

namespace zk {

// A search field bound to a text kept elsewhere: typing writes it; update() shows the bound text
// only when it differs, so that the cursor and selection survive a re-render with the same text.
// It takes the keyboard focus when it is placed in a window. Main-thread only.
class SearchField : public QLineEdit {
    Q_OBJECT
public:
    using Binding = TextBinding;
    struct Configuration {
        bool drawsBackground = true;
        std::optional<QString> placeholder;
        std::optional<double> fontSize;
        // No frame and no focus ring.
        bool isPlainStyle = false;
    };

    explicit SearchField(Binding text, QWidget* parent = nullptr);
    SearchField(Binding text, Configuration configuration, QWidget* parent = nullptr);

    void update(const Configuration& configuration);
    void update() { update(m_configuration); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Binding m_text;
    Configuration m_configuration;
};

// A plain text field that takes the keyboard focus when it is placed in a window.
class AutofocusedTextField : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace zk
