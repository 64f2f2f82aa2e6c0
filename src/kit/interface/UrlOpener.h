#pragma once

#include <QUrl>

#include <functional>
#include <string>

namespace zk {

// Opens links and folders with the user's default application through the desktop
// (platform::DesktopOpener), without waiting for the program. When nothing took the link, the
// user is told and offered a copy of it. Main-thread only.
class UrlOpener {
public:
    // Whether a program took the link; called once the desktop has said.
    using Done = std::function<void(bool opened)>;

    // Opens the link. When no program took it the user is told (naming `what`, "the feedback
    // page"), by what it was and what the desktop said: no web browser, no e-mail program, no file
    // manager for a folder, no program for a file; or, when one was there (or the desktop did not
    // say), that it could not open the page, folder or file. A choice of program the user closed is
    // no failure to tell, but the link did not open.
    static void openOrTell(const QUrl& url, const std::string& what, Done done = {});
};

} // namespace zk
