#pragma once

#include <QPointer>
#include <QWidget>

#include <vector>

namespace zk {

// The chain that keys and editing actions travel: the widget itself, then each parent up to and
// including its window.
std::vector<QWidget*> responderChain(QWidget* responder);

// The widget that has the keyboard focus in `window` (or in the active window, when none is
// given); nothing when no widget has it.
QWidget* firstResponder(QWidget* window = nullptr);

} // namespace zk
