#pragma once

#include <QMargins>
#include <QWidget>

namespace zk {

// Keeps `view` covering `other` inset by `insets` (left, top, right, bottom) from now on: `other`
// is the view's parent, a sibling, or any widget in the same window. Each resize or move of
// `other` places `view` again. The rule ends with either widget. A view in a parent's layout is
// placed by that layout instead: use this for views outside layouts.
void constrainEdges(QWidget& view, QWidget& other, const QMargins& insets = {});

// Fixes the view's width and height.
void constrain(QWidget& view, int width, int height);

} // namespace zk
