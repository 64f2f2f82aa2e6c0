#pragma once

#include <string>

namespace zk {

// The clipboard type that names the application which wrote the clipboard ("org.nspasteboard.source",
// the published marker clipboard managers read to skip or label entries).
inline constexpr const char* pasteboardSourceType = "org.nspasteboard.source";

// Puts `text` on the clipboard as plain text, marked with the application's identifier under
// pasteboardSourceType. Main-thread only.
void copyTextToPasteboard(const std::string& text);

} // namespace zk
