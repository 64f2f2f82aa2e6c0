#pragma once

#include <QUrl>

#include <functional>
#include <string>

namespace zk {

// Opens links and folders with the user's default application, through QDesktopServices (the
// desktop portal's OpenURI inside a sandbox, xdg-open or the desktop's own opener outside), without
// waiting for the program. When nothing could take the link, the user is told and offered a copy
// of it. Main-thread only.
class UrlOpener {
public:
    // Hands the link to the desktop; false when no program took it.
    using Open = std::function<bool(const QUrl& url)>;

    // Opens the link. When no program took it the user is told (naming `what`, "the feedback
    // page"), by what it was: no web browser, no e-mail program, no file manager; false then.
    static bool openOrTell(const QUrl& url, const std::string& what);

    // Tests replace the desktop; an empty function restores it.
    static void setForTesting(Open open);
};

} // namespace zk
