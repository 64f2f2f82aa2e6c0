#pragma once

#include <QLabel>

namespace zk {

// Lets the label's text wrap onto as many lines as it needs: its width follows the layout, its
// height grows to show every line and never cuts one off. Returns the label.
//
// Main-thread only.
QLabel& multilineText(QLabel& label);

} // namespace zk
