#include "kit/interface/UrlOpener.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/interface/Pasteboard.h"
#include "platform/desktop/DesktopOpener.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>

namespace zk {

namespace {

void tell(const QUrl& url, const std::string& what, QWidget* window)
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
    } else if (isFile && QFileInfo(url.toLocalFile()).isDir()) {
        description.message = "No file manager could be opened on this computer. Copy the folder's "
                              "location and open it yourself.";
    } else if (isFile) {
        description.message
            = "No application could open the file. Copy its location and open it in the program you use.";
    } else {
        description.message = "No application could open the link. Copy it and open it yourself.";
    }
    description.style = AlertStyle::informational;
    description.buttonTitles = { isFile ? "Copy Location" : "Copy Link", "OK" };
    AlertPresenter::shared().present(
        makeAlert(description),
        [link](int response) {
            if (response == 0) {
                copyTextToPasteboard(link);
            }
        },
        window);
}

} // namespace

void UrlOpener::openOrTell(const QUrl& url, const std::string& what, Done done)
{
    // Asking first which program handles the scheme would need xdg-utils (missing in a sandbox)
    // and wait for it: only the outcome of opening says that nothing can. The alert goes on the
    // window the action came from, so that it cannot open hidden behind it.
    QPointer<QWidget> window = QApplication::activeWindow();
    platform::DesktopOpener::shared().open(
        url, [url, what, window, done = std::move(done)](platform::DesktopOpener::Outcome outcome) {
            if (outcome == platform::DesktopOpener::Outcome::failed) {
                tell(url, what, window.data());
            }
            if (done) {
                done(outcome == platform::DesktopOpener::Outcome::opened);
            }
        });
}

} // namespace zk
