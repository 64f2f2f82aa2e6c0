#pragma once

#include "platform/desktop/DesktopOpener.h"

#include <functional>
#include <string>
#include <vector>

namespace platform::fake {

// A desktop that records what it is asked to open or run and answers each from the event loop, as
// the desktop does, with the outcome the test chooses. Main-thread only.
class FakeDesktopOpener final : public DesktopOpener {
public:
    struct Request {
        // The link, file or folder opened; empty for a helper run.
        QUrl url;
        // The helper run and its arguments; empty for an opening.
        std::string program;
        std::vector<std::string> arguments;
    };

    // The outcome of each request; empty: opened.
    std::function<Outcome(const Request& request)> outcome;

    void open(const QUrl& url, Completion completion) override;
    void run(const std::string& program, const std::vector<std::string>& arguments,
        Completion completion) override;

    const std::vector<Request>& requests() const { return m_requests; }
    // The links, files and folders opened, in order.
    std::vector<QUrl> openedUrls() const;

private:
    void answer(Request request, Completion completion);

    std::vector<Request> m_requests;
};

} // namespace platform::fake
