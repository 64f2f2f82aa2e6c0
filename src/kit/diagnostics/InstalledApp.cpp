#include "kit/diagnostics/InstalledApp.h"

#include "kit/interface/UrlOpener.h"
#include "platform/RegularFile.h"
#include "platform/linux/DesktopEntry.h"

#include <QFile>
#include <QStandardPaths>

#include <functional>

namespace zk {

namespace {

// Far more than any desktop entry holds, translations included.
constexpr std::size_t largestDesktopEntry = 1024 * 1024;

// The main group of a desktop entry, read only when it is a regular file of an entry's size.
std::optional<platform::xdg::DesktopEntry> readDesktopEntry(const QString& path)
{
    const auto read = platform::RegularFile::read(QFile::encodeName(path).toStdString(), largestDesktopEntry);
    if (!read.contents) {
        return std::nullopt;
    }
    return platform::xdg::DesktopEntry::parse(
        QString::fromUtf8(read.contents->data(), static_cast<qsizetype>(read.contents->size())));
}

} // namespace

InstalledApp::InstalledApp(
    std::string bundleIdentifier, std::string name, std::string version, std::string build, std::string url)
    : bundleIdentifier(std::move(bundleIdentifier))
    , name(std::move(name))
    , version(std::move(version))
    , build(std::move(build))
    , url(std::move(url))
{
}

bool InstalledApp::isBrowser() const
{
    if (!_isBrowser->value) {
        const auto values = readDesktopEntry(QString::fromStdString(url));
        const auto listed = [&values](const QString& key, const QString& entry) {
            const auto found = values ? values->value(key) : std::nullopt;
            return found && found->trimmed().split(QLatin1Char(';')).contains(entry);
        };
        _isBrowser->value = listed(QStringLiteral("Categories"), QStringLiteral("WebBrowser"))
            || listed(QStringLiteral("MimeType"), QStringLiteral("x-scheme-handler/http"));
    }
    return *_isBrowser->value;
}

bool InstalledApp::operator==(const InstalledApp& other) const
{
    return bundleIdentifier == other.bundleIdentifier && name == other.name && version == other.version
        && build == other.build && url == other.url && _isBrowser == other._isBrowser;
}

std::size_t InstalledApp::hash() const
{
    std::size_t seed = 0;
    for (const std::string* field : { &bundleIdentifier, &name, &version, &build, &url }) {
        seed = seed * 31 + std::hash<std::string>()(*field);
    }
    return seed * 31 + std::hash<const void*>()(_isBrowser.get());
}

std::optional<InstalledApp> InstalledApp::fromDesktopEntry(const QString& path)
{
    const auto values = readDesktopEntry(path);
    const auto name = values ? values->value(QStringLiteral("Name")) : std::nullopt;
    if (!name || name->isEmpty()) {
        return std::nullopt;
    }
    QString id = path.section(QLatin1Char('/'), -1);
    id.chop(QStringLiteral(".desktop").size());
    const std::string version
        = values->value(QStringLiteral("X-AppVersion")).value_or(QString()).toStdString();
    return InstalledApp(id.toStdString(), name->toStdString(), version, version, path.toStdString());
}

std::optional<std::string> defaultEmailAppBundleIdentifier()
{
    return UrlOpener::defaultHandler("mailto");
}

std::optional<std::string> defaultEmailAppURL()
{
    const auto id = defaultEmailAppBundleIdentifier();
    if (!id) {
        return std::nullopt;
    }
    const QString path = QStandardPaths::locate(
        QStandardPaths::ApplicationsLocation, QString::fromStdString(*id) + QStringLiteral(".desktop"));
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path.toStdString();
}

} // namespace zk
