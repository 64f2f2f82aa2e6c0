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

// Why nothing opened it, in words as sure as the desktop was: "no program" only when nothing on
// this computer takes it; otherwise a program may have started and failed.
std::string reason(const QUrl& url, platform::DesktopOpener::Outcome outcome)
{
    const bool none = outcome == platform::DesktopOpener::Outcome::noProgram;
    const bool isFile = url.isLocalFile();
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("mailto")) {
        return none
            ? "No e-mail program could be opened on this computer. Copy the address and use it in "
              "the e-mail program you have."
            : "The e-mail could not be started. Copy the address and use it in the e-mail program you "
              "have.";
    }
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        return none
            ? "No web browser could be opened on this computer. Copy the link and open it in a browser."
            : "The page could not be opened. Copy the link and open it in your browser.";
    }
    if (isFile && QFileInfo(url.toLocalFile()).isDir()) {
        return none ? "No file manager could be opened on this computer. Copy the folder's location and open "
                      "it yourself."
                    : "The folder could not be opened. Copy its location and open it yourself.";
    }
    if (isFile) {
        return none
            ? "No application could open the file. Copy its location and open it in the program you use."
            : "The file could not be opened. Copy its location and open it in the program you use.";
    }
    return none ? "No application could open the link. Copy it and open it yourself."
                : "The link could not be opened. Copy it and open it yourself.";
}

void tell(const QUrl& url, platform::DesktopOpener::Outcome outcome, const std::string& what, QWidget* window)
{
    const bool isFile = url.isLocalFile();
    const std::string link = (isFile ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)).toStdString();
    AlertDescription description;
    description.title = "Could not open " + what;
    description.message = reason(url, outcome);
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
            if (platform::DesktopOpener::isFailure(outcome)) {
                tell(url, outcome, what, window.data());
            }
            if (done) {
                done(outcome == platform::DesktopOpener::Outcome::opened);
            }
        });
}

} // namespace zk
