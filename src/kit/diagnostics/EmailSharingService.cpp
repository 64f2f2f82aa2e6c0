#include "kit/diagnostics/EmailSharingService.h"

#include "kit/diagnostics/Email.h"
#include "kit/interface/Pasteboard.h"

#include <QFile>

namespace zk {

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
            QFile file(url->toLocalFile());
            if (url->isLocalFile() && !attachment && file.open(QIODevice::ReadOnly)) {
                attachment.emplace(url->fileName().toStdString(), file.readAll().toStdString());
            } else {
                body += body.empty() ? "" : "\n";
                body += url->toString().toStdString();
            }
        }
    }
    if (attachment) {
        sendEmail(
            {}, "", body.empty() ? std::nullopt : std::optional(body), attachment->first, attachment->second);
    } else if (!openMailtoURL({}, "", body)) {
        // No mail client: the text is at hand on the clipboard.
        copyTextToPasteboard(body);
    }
}

} // namespace zk
