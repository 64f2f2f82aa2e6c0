#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

namespace zk {

// The contrast ratio of two colours as the accessibility guidelines define it: from 1 (the same
// luminance) to 21 (black on white). Alpha is ignored.
double contrastRatio(const QColor& first, const QColor& second);

// The smallest contrast that secondary text keeps against its background.
inline constexpr double minimumSecondaryTextContrast = 4.5;

// Text that reads as less important than the palette's text and stays readable on the
// background: the text colour moved part of the way toward the background, never so far that its
// contrast falls below minimumSecondaryTextContrast. Built from the text and background roles,
// which every colour scheme sets (unlike the placeholder role, which many leave at a light
// scheme's grey).
QColor secondaryTextColor(const QPalette& palette, QPalette::ColorRole text = QPalette::WindowText,
    QPalette::ColorRole background = QPalette::Window, QPalette::ColorGroup group = QPalette::Active);

// The base palette with its text roles (WindowText on Window, Text on Base) in the secondary
// colour in the active and inactive groups; disabled text keeps the scheme's own colour.
QPalette secondaryTextPalette(const QPalette& base);

// Gives the widget's text roles (WindowText and Text) the secondary colour of its palette in the
// active and inactive groups, and gives them again whenever the application's palette changes (a
// switch to a dark scheme while the window is open). Disabled text keeps the scheme's own colour.
void useSecondaryTextColor(QWidget& widget);

} // namespace zk
