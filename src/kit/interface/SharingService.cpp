#include "kit/interface/SharingService.h"

#include "kit/foundation/ErrorPresentation.h"
#include "kit/foundation/ImageWriting.h"
#include "kit/interface/Pasteboard.h"
#include "kit/interface/UrlOpener.h"
#include "platform/Logger.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMimeData>

namespace zk {

namespace {

// Puts every item on the clipboard at once: texts as text, links as URLs, the first image.
class CopySharingService : public SharingService {
public:
    CopySharingService()
        : SharingService(QStringLiteral("Copy"), QIcon::fromTheme(QStringLiteral("edit-copy")))
    {
    }
    bool canPerformWithItems(const std::vector<ShareItem>& items) const override { return !items.empty(); }
    void performWithItems(const std::vector<ShareItem>& items) override
    {
        auto* data = new QMimeData;
        QStringList texts;
        QList<QUrl> urls;
        for (const auto& item : items) {
            if (const auto* text = std::get_if<QString>(&item)) {
                texts.append(*text);
            } else if (const auto* url = std::get_if<QUrl>(&item)) {
                urls.append(*url);
                texts.append(url->isLocalFile() ? url->toLocalFile() : url->toString());
            } else if (const auto* image = std::get_if<QImage>(&item); image && !data->hasImage()) {
                data->setImageData(*image);
            }
        }
        if (!texts.isEmpty()) {
            data->setText(texts.join(QLatin1Char('\n')));
        }
        if (!urls.isEmpty()) {
            data->setUrls(urls);
        }
        data->setData(QString::fromLatin1(pasteboardSourceType), QByteArray("com.zelvantorium.Kiruvo"));
        QGuiApplication::clipboard()->setMimeData(data);
    }

protected:
    QString serviceName() const override { return QStringLiteral("com.zelvantorium.share.copy"); }
};

// Opens links and files with the user's default application, telling the user what nothing opened.
class OpenSharingService : public SharingService {
public:
    OpenSharingService()
        : SharingService(QStringLiteral("Open"), QIcon::fromTheme(QStringLiteral("document-open")))
    {
    }
    bool canPerformWithItems(const std::vector<ShareItem>& items) const override
    {
        return std::any_of(items.begin(), items.end(),
            [](const ShareItem& item) { return std::holds_alternative<QUrl>(item); });
    }
    void performWithItems(const std::vector<ShareItem>& items) override
    {
        for (const auto& item : items) {
            if (const auto* url = std::get_if<QUrl>(&item)) {
                UrlOpener::openOrTell(*url, url->isLocalFile() ? "the file" : "the link");
            }
        }
    }

protected:
    QString serviceName() const override { return QStringLiteral("com.zelvantorium.share.open"); }
};

std::vector<std::shared_ptr<SharingService>>& registered()
{
    static std::vector<std::shared_ptr<SharingService>> services;
    return services;
}

} // namespace

SharingService::SharingService(QString title, QIcon image)
    : m_title(std::move(title))
    , m_image(std::move(image))
{
}

SharingService::~SharingService() = default;

QString SharingService::id() const
{
    const QString name = serviceName();
    return name.isEmpty() ? m_title : name;
}

std::vector<std::shared_ptr<SharingService>> SharingService::sharingServicesForItems(
    const std::vector<ShareItem>& items)
{
    std::vector<std::shared_ptr<SharingService>> candidates { std::make_shared<CopySharingService>(),
        std::make_shared<OpenSharingService>() };
    candidates.insert(candidates.end(), registered().begin(), registered().end());
    std::vector<std::shared_ptr<SharingService>> services;
    for (auto& service : candidates) {
        if (service->canPerformWithItems(items)) {
            services.push_back(std::move(service));
        }
    }
    return services;
}

void SharingService::registerSystemService(std::shared_ptr<SharingService> service)
{
    registered().push_back(std::move(service));
}

void SharingService::clearRegisteredServices()
{
    registered().clear();
}

SaveImageSharingService::SaveImageSharingService(QString title, QIcon image, QString destination)
    : ZKSharingService(std::move(title), std::move(image))
    , m_destination(std::move(destination))
{
}

SaveImageSharingService::DirectoryAccess& SaveImageSharingService::directoryAccess()
{
    static DirectoryAccess access = [](const QString&, const std::function<void()>& work) { work(); };
    return access;
}

QString SaveImageSharingService::fileURL() const
{
    QString name = imageTitle ? imageTitle() : QString();
    if (name.isEmpty()) {
        name = QStringLiteral("Image");
    }
    // Always a PNG: a name that does not end in the PNG extension gets it ("Chart.jpg.png"), so
    // the format the writer takes from the name is PNG. Letter case counts, as it does for the
    // writer: "Chart.PNG" becomes "Chart.PNG.png" rather than a name the writer refuses.
    if (!name.endsWith(QStringLiteral(".png"))) {
        name += QStringLiteral(".png");
    }
    return QDir(m_destination).filePath(name);
}

bool SaveImageSharingService::canPerformWithItems(const std::vector<ShareItem>& items) const
{
    return std::any_of(items.begin(), items.end(),
        [](const ShareItem& item) { return std::holds_alternative<QImage>(item); });
}

void SaveImageSharingService::performWithItems(const std::vector<ShareItem>& items)
{
    const auto found = std::find_if(items.begin(), items.end(),
        [](const ShareItem& item) { return std::holds_alternative<QImage>(item); });
    if (found == items.end()) {
        return;
    }
    const QImage image = std::get<QImage>(*found);
    const QString path = fileURL();
    // Called from a menu item: nothing may be thrown back into the toolkit's event handling.
    bool saved = false;
    try {
        directoryAccess()(m_destination + QLatin1Char('/'), [image, path, &saved] {
            const QByteArray format = imageFormatForFileName(path);
            const std::optional<CustomMetadata> metadata = customMetadata(image);
            const std::optional<int> dpi = metadata && metadata->dpi > 0
                ? std::optional<int>(static_cast<int>(std::min<std::int64_t>(metadata->dpi, 1'000'000)))
                : std::nullopt;
            writeImage(image, path, format, false, 1.0, std::nullopt, dpi);
            saved = true;
            if (metadata && metadata->isScreenshot) {
                markAsScreenCapture(path);
            }
        });
    } catch (const Error& error) {
        platform::log(platform::LogLevel::Warning, platform::lcDesktop(),
            "Saving the image as " + path.toStdString() + " failed: " + error.localizedDescription());
        // The image is saved; only its screen-capture mark is missing, which the user would not miss.
        // A file of that name from before is no sign of a saved image.
        if (saved) {
            return;
        }
        // Shown as it describes itself, whatever type it was thrown as.
        ErrorUserInfo details = error.userInfo();
        details.insert_or_assign(ErrorKeys::localizedDescription, error.localizedDescription());
        if (const std::string suggestion = error.recoverySuggestion(); !suggestion.empty()) {
            details.insert_or_assign(ErrorKeys::localizedRecoverySuggestion, suggestion);
        }
        presentAsModal(std::make_shared<PlatformError>(error.domain(), error.code(), std::move(details)));
    }
}

} // namespace zk
