#pragma once

#include <QPushButton>

namespace zk::Buttons {

// "Quit <application name>", with Ctrl+Q: the application quits on the main queue's next turn.
// Main-thread only.
class Quit : public QPushButton {
    Q_OBJECT
public:
    explicit Quit(QWidget* parent = nullptr);
};

} // namespace zk::Buttons
