#pragma once

#include <QString>

namespace kiruvo {

// Shortens `text` at its end to at most `maxLength` characters (user-perceived characters, so an
// accented letter or an emoji counts once) ending in `truncationIndicator`: a text that fits stays
// as it is; otherwise its first maxLength minus the indicator's length characters, without a last
// punctuation mark and trailing white space, followed by the indicator. An indicator as long as the
// limit is itself cut to it; a limit below 1 gives the empty text.
QString truncating(const QString& text, int maxLength, const QString& truncationIndicator);

} // namespace kiruvo
