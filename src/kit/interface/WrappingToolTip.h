#pragma once

#include <QString>

class QWidget;

namespace zk {

// A help text as a tool tip that wraps: the desktop shows plain-text tool tips on one line however
// long they are, rich text wrapped to a readable width. Paragraphs (an empty line between them)
// stay paragraphs; the text is shown as written, never read as markup.
QString wrappingToolTip(const QString& text);

// Gives `widget` the help text as its wrapping tool tip and, as plain text, as what a screen reader
// reads for it: the reader would otherwise be given the tool tip's markup, tags and all.
void setHelpText(QWidget& widget, const QString& text);

} // namespace zk
