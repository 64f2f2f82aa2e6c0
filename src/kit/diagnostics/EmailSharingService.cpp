#include "kit/diagnostics/EmailSharingService.h"

#include "kit/diagnostics/Email.h"
#include "kit/interface/Pasteboard.h"
#include "platform/RegularFile.h"

#include <QFile>

namespace zk {

namespace {

// A mail client takes no more, and the text may have to go into a mailto: URL.
constexpr std::size_t largestAttachment = 16 * 1024 * 1024;

} // namespace

EmailSharingService::EmailSharingService()
    : SharingService(QStringLiteral("Email"), QIcon::fromTheme(QStringLiteral("mail-message-new")))
{
}

bool EmailSharingService::canPerformWithItems(const std::vector<ShareItem>& items) const
{
    return std::any_of(items.begin(), items.end(),
        [](const ShareItem& item) { return !std::holds_alternative<QImage>(item); });
}

void EmailSharingService::performWithItems(const std::vector<ShareItem>& items)
{
    std::string body;
    std::optional<std::pair<std::string, std::string>> attachment;
    for (const auto& item : items) {
        if (const auto* text = std::get_if<QString>(&item)) {
            body += body.empty() ? "" : "\n";
            body += text->toStdString();
        } else if (const auto* url = std::get_if<QUrl>(&item)) {
            // Only a regular file of a mailable size; anything else goes as its link.
            auto read = url->isLocalFile() && !attachment ? platform::RegularFile::read(
                            QFile::encodeName(url->toLocalFile()).toStdString(), largestAttachment)
                                                          : platform::RegularFile::Read {};
            if (read.contents) {
                attachment.emplace(url->fileName().toStdString(), std::move(*read.contents));
            } else {
                body += body.empty() ? "" : "\n";
                body += url->toString().toStdString();
            }
        }
    }
    if (attachment) {
        sendEmail(
            {}, "", body.empty() ? std::nullopt : std::optional(body), attachment->first, attachment->second);
        return;
    }
    // No mail client: the text is at hand on the clipboard.
    const bool formed = openMailtoURL({}, "", body, [body](bool opened) {
        if (!opened) {
            copyTextToPasteboard(body);
        }
    });
    if (!formed) {
        copyTextToPasteboard(body);
    }
}

} // namespace zk
