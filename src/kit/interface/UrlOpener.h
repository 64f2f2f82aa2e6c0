#pragma once

#include <QUrl>

#include <functional>
#include <optional>
#include <string>

namespace zk {

// Opens links with the user's default application and tells the user when none can: a web link
// with no browser set up, or a link that could not be handed to any program, gives an alert that
// offers to copy the link. Main-thread only.
class UrlOpener {
public:
    // The desktop entry (without ".desktop") that opens links of the scheme ("https", "mailto"),
    // nothing when none is set up.
    using DefaultHandler = std::function<std::optional<std::string>(const std::string& scheme)>;
    // Hands the link to the desktop; false when no program took it.
    using Open = std::function<bool(const QUrl& url)>;

    // Asks xdg-mime for the default handler of the scheme. Nothing also when xdg-mime is missing.
    static std::optional<std::string> defaultHandler(const std::string& scheme);

    // Opens the link. For a web or mail link, with no program set up for its scheme, nothing is
    // started; then, and when no program took it, the user is told (naming `what`, "the feedback
    // page") and offered a copy of the link. False in those cases.
    static bool openOrTell(const QUrl& url, const std::string& what);

    // Tests replace the desktop; empty functions restore it.
    static void setForTesting(DefaultHandler defaultHandler, Open open);
};

} // namespace zk
