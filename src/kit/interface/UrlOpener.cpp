#include "kit/interface/UrlOpener.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/interface/Pasteboard.h"
#include "platform/Logger.h"

#include <QApplication>
#include <QDesktopServices>
#include <QProcess>

namespace zk {

namespace {

struct Desktop {
    UrlOpener::DefaultHandler defaultHandler;
    UrlOpener::Open open;
};

Desktop& desktop()
{
    static Desktop shared;
    return shared;
}

// Schemes whose handler the desktop records; others (files, folders) are opened by type.
bool isCheckedScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https")
        || scheme == QLatin1String("mailto");
}

void tell(const QUrl& url, const std::string& what, bool noHandler)
{
    const std::string link = url.toString(QUrl::FullyEncoded).toStdString();
    AlertDescription description;
    description.title = "Could not open " + what;
    if (noHandler) {
        description.message = url.scheme() == QLatin1String("mailto")
            ? "No e-mail application is set up on this computer. Copy the address and use it in the e-mail "
              "program you have."
            : "No web browser is set up on this computer. Copy the link and open it in a browser.";
    } else {
        description.message = "No application could open the link. Copy it and open it yourself.";
    }
    description.style = AlertStyle::informational;
    description.buttonTitles = { "Copy Link", "OK" };
    // On the window the action came from, so that it cannot open hidden behind it.
    AlertPresenter::shared().present(
        makeAlert(description),
        [link](int response) {
            if (response == 0) {
                copyTextToPasteboard(link);
            }
        },
        QApplication::activeWindow());
}

} // namespace

std::optional<std::string> UrlOpener::defaultHandler(const std::string& scheme)
{
    if (desktop().defaultHandler) {
        return desktop().defaultHandler(scheme);
    }
    QProcess process;
    process.start(QStringLiteral("xdg-mime"),
        { QStringLiteral("query"), QStringLiteral("default"),
            QStringLiteral("x-scheme-handler/") + QString::fromStdString(scheme) });
    if (!process.waitForFinished(2000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        return std::nullopt;
    }
    QString entry = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    if (entry.endsWith(QStringLiteral(".desktop"))) {
        entry.chop(QStringLiteral(".desktop").size());
    }
    if (entry.isEmpty()) {
        return std::nullopt;
    }
    return entry.toStdString();
}

bool UrlOpener::openOrTell(const QUrl& url, const std::string& what)
{
    if (isCheckedScheme(url.scheme()) && !defaultHandler(url.scheme().toStdString())) {
        platform::log(platform::LogLevel::Warning, "general",
            "No application is set up for " + url.scheme().toStdString() + ": links; " + what
                + " was not opened");
        tell(url, what, true);
        return false;
    }
    const bool opened = desktop().open ? desktop().open(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        platform::log(
            platform::LogLevel::Warning, "general", "Nothing opened " + url.toString().toStdString());
        tell(url, what, false);
    }
    return opened;
}

void UrlOpener::setForTesting(DefaultHandler defaultHandler, Open open)
{
    desktop() = Desktop { std::move(defaultHandler), std::move(open) };
}

} // namespace zk
