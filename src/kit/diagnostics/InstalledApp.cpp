#include "kit/diagnostics/InstalledApp.h"

#include "platform/ChildProcessSignals.h"
#include "platform/RegularFile.h"
#include "platform/linux/DesktopEntry.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <chrono>
#include <functional>
#include <utility>

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

void defaultEmailAppURL(MailAppAnswer answer)
{
    auto* process = new QProcess;
    // Whichever comes first answers: the program's end, its failure to start, or the time limit.
    auto pending = std::make_shared<MailAppAnswer>(std::move(answer));
    const auto finish = [process, pending](std::optional<std::string> path) {
        if (MailAppAnswer reply = std::exchange(*pending, {})) {
            process->disconnect();
            process->kill();
            process->deleteLater();
            reply(std::move(path));
        }
    };
    QObject::connect(
        process, &QProcess::finished, process, [process, finish](int code, QProcess::ExitStatus status) {
            QString entry = QString::fromUtf8(process->readAllStandardOutput()).trimmed();
            if (status != QProcess::NormalExit || code != 0 || entry.isEmpty()) {
                finish(std::nullopt);
                return;
            }
            if (!entry.endsWith(QStringLiteral(".desktop"))) {
                entry += QStringLiteral(".desktop");
            }
            const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry);
            finish(path.isEmpty() ? std::nullopt : std::optional(path.toStdString()));
        });
    QObject::connect(process, &QProcess::errorOccurred, process, [finish](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            finish(std::nullopt);
        }
    });
    QTimer::singleShot(std::chrono::seconds(2), process, [finish] { finish(std::nullopt); });
    platform::ChildProcessSignals::applyTo(*process);
    process->start(QStringLiteral("xdg-mime"),
        { QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/mailto") });
}

void defaultEmailAppBundleIdentifier(MailAppAnswer answer)
{
    defaultEmailAppURL([answer = std::move(answer)](std::optional<std::string> url) {
        const auto app = url ? InstalledApp::fromDesktopEntry(QString::fromStdString(*url)) : std::nullopt;
        answer(app ? std::optional(app->bundleIdentifier) : std::nullopt);
    });
}

} // namespace zk
