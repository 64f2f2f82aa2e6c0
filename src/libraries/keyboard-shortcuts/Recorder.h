#pragma once

#include "libraries/keyboard-shortcuts/RecorderCocoa.h"

#include <QWidget>

class QLabel;

namespace KeyboardShortcuts {

// A shortcut recorder for one name, with or without a label before it:
//
//     auto* row = new KeyboardShortcuts::Recorder("Toggle menu:", kiruvo::ShortcutNames::toggleMenu());
//
// In a QFormLayout, put the bare field (RecorderCocoa) in the field column instead, so that the
// form lines the rows up on their controls. `onChange` gets the recorded shortcut, or nothing when
// the user cleared it.
//
// Main-thread only.
class Recorder : public QWidget {
    Q_OBJECT
public:
    explicit Recorder(const Name& name, RecorderCocoa::OnChange onChange = {}, QWidget* parent = nullptr);
    Recorder(const QString& title, const Name& name, RecorderCocoa::OnChange onChange = {},
        QWidget* parent = nullptr);

    RecorderCocoa& field() const { return *m_field; }
    // nullptr without a title.
    QLabel* label() const { return m_label; }
    bool hasLabel() const { return m_label != nullptr; }
    // Shows another name's shortcut (the change callback stays).
    void setName(const Name& name) { m_field->setShortcutName(name); }

private:
    QLabel* m_label = nullptr;
    RecorderCocoa* m_field = nullptr;
};

} // namespace KeyboardShortcuts
