#pragma once

#include <QColor>
#include <QTextDocument>

#include <memory>

namespace zk {

// Styled text as a text document: each run of characters carries its own format (font, colour).
// The operations return or change documents as styled strings do elsewhere.

// A copy of `text` whose every character has the foreground colour `color`; `text` is unchanged.
std::unique_ptr<QTextDocument> withColor(const QTextDocument& text, const QColor& color);

// Changes the point size of every run in place: a run with a font of its own keeps its family,
// weight and style at the new size; a run without one gets the application's font at that size.
void setFontSize(QTextDocument& text, double pointSize);

} // namespace zk
