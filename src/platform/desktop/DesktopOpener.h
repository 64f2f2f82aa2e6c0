#pragma once

#include <QUrl>

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Hands links, files and folders to the program the user chose for them, and runs the desktop's
// helpers (xdg-email), telling afterwards whether a program took them. Neither waits: the
// outcome comes on the main thread once the desktop has said, at the latest a few seconds after a
// helper started and is still running (the program it started took the link then).
//
// Outside a sandbox the helpers' exit status says (xdg-open's 3: no program, 4: the program
// failed); inside a Flatpak sandbox the desktop portal's OpenURI answers. Why something failed is
// logged here; callers only tell the user, in words that fit what is known: only when nothing on
// this computer can take the link is there "no program" for it.
//
// Main-thread only.
class DesktopOpener {
public:
    enum class Outcome {
        opened,
        // The user closed the desktop's choice of program without choosing one.
        cancelled,
        // Nothing on this computer takes it: no program for its kind, or no helper to hand it on.
        noProgram,
        // A program or the desktop tried and failed (a browser that started and ended in an
        // error), or the desktop did not say why.
        failed,
    };
    using Completion = std::function<void(Outcome outcome)>;

    // Whether the outcome is a failure, whatever its cause (a cancelled choice is none).
    static bool isFailure(Outcome outcome)
    {
        return outcome == Outcome::noProgram || outcome == Outcome::failed;
    }

    virtual ~DesktopOpener() = default;

    // Opens a web link, a mailto: address, a file or a folder.
    virtual void open(const QUrl& url, Completion completion) = 0;
    // Runs a desktop helper that hands something to a program (xdg-email and its arguments).
    virtual void run(
        const std::string& program, const std::vector<std::string>& arguments, Completion completion)
        = 0;

    // The desktop's: the portal inside a Flatpak sandbox, xdg-utils otherwise. Tests install a fake.
    static DesktopOpener& shared();
    // Not owned; nullptr goes back to the desktop's.
    static void setShared(DesktopOpener* opener);
};

} // namespace platform
