#include "kit/diagnostics/InstalledApp.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <functional>
#include <map>

namespace zk {

namespace {

// The keys of a desktop entry's "[Desktop Entry]" group (QSettings reads ";" as a comment).
std::map<QString, QString> desktopEntryValues(const QString& path)
{
    std::map<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return values;
    }
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QStringLiteral("[Desktop Entry]");
        } else if (inGroup && !line.startsWith(QLatin1Char('#')) && line.contains(QLatin1Char('='))) {
            values.emplace(
                line.section(QLatin1Char('='), 0, 0).trimmed(), line.section(QLatin1Char('='), 1).trimmed());
        }
    }
    return values;
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
        const auto values = desktopEntryValues(QString::fromStdString(url));
        const auto listed = [&values](const QString& key, const QString& entry) {
            const auto found = values.find(key);
            return found != values.end() && found->second.split(QLatin1Char(';')).contains(entry);
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
    const auto values = desktopEntryValues(path);
    const auto name = values.find(QStringLiteral("Name"));
    if (name == values.end() || name->second.isEmpty()) {
        return std::nullopt;
    }
    QString id = path.section(QLatin1Char('/'), -1);
    id.chop(QStringLiteral(".desktop").size());
    const auto versionEntry = values.find(QStringLiteral("X-AppVersion"));
    const std::string version
        = versionEntry == values.end() ? std::string() : versionEntry->second.toStdString();
    return InstalledApp(id.toStdString(), name->second.toStdString(), version, version, path.toStdString());
}

std::optional<std::string> defaultEmailAppBundleIdentifier()
{
    QProcess process;
    process.start(QStringLiteral("xdg-mime"),
        { QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/mailto") });
    if (!process.waitForFinished(2000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        return std::nullopt;
    }
    QString entry = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    if (entry.isEmpty()) {
        return std::nullopt;
    }
    if (entry.endsWith(QStringLiteral(".desktop"))) {
        entry.chop(QStringLiteral(".desktop").size());
    }
    return entry.toStdString();
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
