#include "kit/interface/UrlOpener.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/interface/Pasteboard.h"
#include "platform/Logger.h"

#include <QApplication>
#include <QDesktopServices>

namespace zk {

namespace {

UrlOpener::Open& desktop()
{
    static UrlOpener::Open open;
    return open;
}

void tell(const QUrl& url, const std::string& what)
{
    const bool isFile = url.isLocalFile();
    const std::string link = (isFile ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)).toStdString();
    AlertDescription description;
    description.title = "Could not open " + what;
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("mailto")) {
        description.message = "No e-mail program could be opened on this computer. Copy the address and use "
                              "it in the e-mail program you have.";
    } else if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        description.message
            = "No web browser could be opened on this computer. Copy the link and open it in a browser.";
    } else if (isFile) {
        description.message = "No file manager could be opened on this computer. Copy the folder's "
                              "location and open it yourself.";
    } else {
        description.message = "No application could open the link. Copy it and open it yourself.";
    }
    description.style = AlertStyle::informational;
    description.buttonTitles = { isFile ? "Copy Location" : "Copy Link", "OK" };
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

bool UrlOpener::openOrTell(const QUrl& url, const std::string& what)
{
    // Asking first which program handles the scheme would need xdg-utils (missing in a sandbox)
    // and wait for it: only a failure to open says that nothing can.
    const bool opened = desktop() ? desktop()(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        platform::log(platform::LogLevel::Warning, platform::lcDesktop(),
            "Nothing opened " + url.toString().toStdString());
        tell(url, what);
    }
    return opened;
}

void UrlOpener::setForTesting(Open open)
{
    desktop() = std::move(open);
}

} // namespace zk
