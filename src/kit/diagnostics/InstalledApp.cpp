#include "kit/diagnostics/InstalledApp.h"

#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

#include <functional>

namespace zk {

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
        QSettings entry(QString::fromStdString(url), QSettings::IniFormat);
        entry.beginGroup(QStringLiteral("Desktop Entry"));
        const QString categories
            = entry.value(QStringLiteral("Categories")).toStringList().join(QLatin1Char(';'));
        const QString types = entry.value(QStringLiteral("MimeType")).toStringList().join(QLatin1Char(';'));
        _isBrowser->value = categories.contains(QStringLiteral("WebBrowser"))
            || types.contains(QStringLiteral("x-scheme-handler/http"));
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
    QSettings entry(path, QSettings::IniFormat);
    if (entry.status() != QSettings::NoError) {
        return std::nullopt;
    }
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    const QString name = entry.value(QStringLiteral("Name")).toString();
    if (name.isEmpty()) {
        return std::nullopt;
    }
    QString id = path.section(QLatin1Char('/'), -1);
    id.chop(QStringLiteral(".desktop").size());
    const std::string version = entry.value(QStringLiteral("X-AppVersion")).toString().toStdString();
    return InstalledApp(id.toStdString(), name.toStdString(), version, version, path.toStdString());
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
