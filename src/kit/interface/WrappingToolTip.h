#pragma once

#include <QString>

namespace zk {

// A help text as a tool tip that wraps: the desktop shows plain-text tool tips on one line however
// long they are, rich text wrapped to a readable width. Paragraphs (an empty line between them)
// stay paragraphs; the text is shown as written, never read as markup.
QString wrappingToolTip(const QString& text);

} // namespace zk
