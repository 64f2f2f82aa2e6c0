#include "platform/fake/FakeDesktopOpener.h"

#include <QCoreApplication>
#include <QTimer>

namespace platform::fake {

void FakeDesktopOpener::open(const QUrl& url, Completion completion)
{
    answer({ url, {}, {} }, std::move(completion));
}

void FakeDesktopOpener::run(
    const std::string& program, const std::vector<std::string>& arguments, Completion completion)
{
    answer({ {}, program, arguments }, std::move(completion));
}

std::vector<QUrl> FakeDesktopOpener::openedUrls() const
{
    std::vector<QUrl> urls;
    for (const auto& request : m_requests) {
        if (request.program.empty()) {
            urls.push_back(request.url);
        }
    }
    return urls;
}

void FakeDesktopOpener::answer(Request request, Completion completion)
{
    const Outcome result = outcome ? outcome(request) : Outcome::opened;
    m_requests.push_back(std::move(request));
    QTimer::singleShot(0, QCoreApplication::instance(), [completion = std::move(completion), result] {
        if (completion) {
            completion(result);
        }
    });
}

} // namespace platform::fake
