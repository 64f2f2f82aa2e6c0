#pragma once

#include <QLabel>

namespace kiruvo {

// A help text under a setting: wrapped (it grows in height rather than being cut), in the kit's
// secondary text style at the small system font size.
QLabel* secondaryText(const QString& text, QWidget* parent);

} // namespace kiruvo
