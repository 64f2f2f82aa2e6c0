#pragma once

#include <QIcon>
#include <QImage>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <variant>
#include <vector>

namespace zk {

// One thing to share: a text, a link or file, or an image.
using ShareItem = std::variant<QString, QUrl, QImage>;

// A way to share items, as the share menu lists it. Main-thread only.
class SharingService {
public:
    SharingService(QString title, QIcon image);
    virtual ~SharingService();

    const QString& title() const { return m_title; }
    const QIcon& image() const { return m_image; }
    // The service's identity: its name, which stays the same whatever its title says, or the title
    // for a service without one. Two objects of one service have the same identity.
    QString id() const;

    virtual bool canPerformWithItems(const std::vector<ShareItem>& items) const = 0;
    virtual void performWithItems(const std::vector<ShareItem>& items) = 0;

    // The desktop's services that can share the items: "Copy", "Open" (for links and files) and
    // those registered with registerSystemService (the diagnostics add "Email").
    static std::vector<std::shared_ptr<SharingService>> sharingServicesForItems(
        const std::vector<ShareItem>& items);
    static void registerSystemService(std::shared_ptr<SharingService> service);
    static void clearRegisteredServices();

protected:
    // The service's own name ("com.zelvantorium.share.copy"); empty for none.
    virtual QString serviceName() const { return {}; }

private:
    QString m_title;
    QIcon m_image;
};

// The base of the application's own services (as opposed to the desktop's).
class ZKSharingService : public SharingService {
public:
    using SharingService::SharingService;
};

// Saves the first image among the items as a PNG file into `destination`, named by `imageTitle`
// ("Image" without one) with the PNG extension, through the kit's image writer: in the format the
// file name gives, at full quality, atomically, with the image's own metadata (resolution,
// screen-capture mark), and with access to the folder asked for through `directoryAccess`.
class SaveImageSharingService : public ZKSharingService {
public:
    // Runs the work with access to the folder; the default runs it directly.
    using DirectoryAccess = std::function<void(const QString& folder, const std::function<void()>& work)>;

    SaveImageSharingService(QString title, QIcon image, QString destination);

    std::function<QString()> imageTitle;
    static DirectoryAccess& directoryAccess();

    // The file the image goes to.
    QString fileURL() const;

    bool canPerformWithItems(const std::vector<ShareItem>& items) const override;
    void performWithItems(const std::vector<ShareItem>& items) override;

protected:
    QString serviceName() const override { return QStringLiteral("com.zelvantorium.share.saveImage"); }

private:
    QString m_destination;
};

} // namespace zk
