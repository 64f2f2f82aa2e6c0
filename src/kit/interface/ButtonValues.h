#pragma once

#include <QString>

class QAbstractButton;
class QPushButton;
class QWidget;

namespace zk {

// A push button with a title and no action of its own yet.
QPushButton* makeButton(const QString& title, QWidget* parent = nullptr);

// A button's state as a boolean: on is true; a partly checked box reads as true, as it is not off.
bool boolValue(const QAbstractButton& button);
// On or off; a partly checked box set to false is off afterwards.
void setBoolValue(QAbstractButton& button, bool value);

} // namespace zk
