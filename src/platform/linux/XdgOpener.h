#pragma once

#include "platform/desktop/DesktopOpener.h"

#include <chrono>

namespace platform::xdg {

// Opens through xdg-utils: xdg-open for links, files and folders, and any helper given to run().
// The helper's exit status is the outcome (0 opened; xdg-utils' 3 and a helper that cannot start,
// no program; 4, the program failed, or any other, failed). Under some desktops xdg-open answers 4
// also when no program was found, so 4 never claims that a program started. Some desktops'
// xdg-open runs the program it chose until that program ends: a helper still running `takenAfter`
// after its start has handed the link on, and counts as opened.
//
// A helper is never stopped, not even when the application quits: it and what it started live on.
//
// Main-thread only.
class XdgOpener : public DesktopOpener {
public:
    explicit XdgOpener(std::chrono::milliseconds takenAfter = std::chrono::seconds(5));

    void open(const QUrl& url, Completion completion) override;
    void run(const std::string& program, const std::vector<std::string>& arguments,
        Completion completion) override;

    // How many helpers still run.
    static std::size_t runningCount();

private:
    std::chrono::milliseconds m_takenAfter;
};

} // namespace platform::xdg
