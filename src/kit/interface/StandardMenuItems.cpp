#include "kit/interface/StandardMenuItems.h"
#include "kit/interface/UrlOpener.h"

#include "kit/foundation/DiagnosticsSeam.h"
#include "kit/foundation/SettingsWindowOpener.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/FeedbackLink.h"
#include "kit/interface/CallbackMenuItem.h"
#include "platform/MainQueue.h"

#include <QApplication>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>

namespace zk {

namespace {

// Room beside the title in a window manager's title bar: its buttons and margins.
constexpr int aboutTitleAllowance = 160;

} // namespace

double smallFontPointSize()
{
    const double base = QApplication::font().pointSizeF();
    return (base > 0 ? base : 10.0) * 11.0 / 13.0;
}

QAction* addHeader(QMenu& menu, const QString& title, bool separatorBefore)
{
    if (separatorBefore) {
        menu.addSeparator();
    }
    auto* header = new QAction(title, &menu);
    header->setEnabled(false);
    QFont font = menu.font();
    font.setPointSizeF(smallFontPointSize());
    header->setFont(font);
    menu.addAction(header);
    return header;
}

CallbackMenuItem* addWebsiteItem(QMenu& menu, const std::optional<QUrl>& website)
{
    if (!website || !website->isValid()) {
        return nullptr;
    }
    auto* item = new CallbackMenuItem("Website", openURLAction(*website), &menu);
    menu.addAction(item);
    return item;
}

CallbackMenuItem* addMoreAppsItem(QMenu& menu, const QUrl& makerAppsPage)
{
    return addMoreAppsItem(menu, makerAppsPage, std::string(ZKApp::storeIdentifier));
}

CallbackMenuItem* addMoreAppsItem(
    QMenu& menu, const QUrl& makerAppsPage, const std::optional<std::string>& storeIdentifier)
{
    const QUrl page = storeIdentifier && !storeIdentifier->empty()
        ? QUrl(QString::fromLatin1(ZKApp::storeDeveloperPageAddress))
        : makerAppsPage;
    auto* item = new CallbackMenuItem("More Apps by Me", openURLAction(page), &menu);
    menu.addAction(item);
    return item;
}

QString quitItemTitle(const QString& applicationName)
{
    return "Quit " + applicationName;
}

CallbackMenuItem* addQuitItem(QMenu& menu)
{
    auto* item = new CallbackMenuItem(
        quitItemTitle(QString::fromStdString(ZKApp::name())), "q", std::nullopt, true, false, false,
        [] { platform::MainQueue::post(QCoreApplication::instance(), [] { QCoreApplication::quit(); }); },
        &menu);
    menu.addAction(item);
    return item;
}

std::function<void()> openSettingsAction()
{
    // The Settings window is the application's: no object of the menu's needs to outlive the click.
    return [] { platform::MainQueue::post(QCoreApplication::instance(), [] { openSettingsWindow(); }); };
}

std::function<void()> sendFeedbackAction()
{
    return [] {
        UrlOpener::openOrTell(
            QUrl(QString::fromStdString(feedbackPageURL(ZKApp::name(), feedbackMetadata()))),
            "the feedback page");
    };
}

std::function<void()> showAboutPanelAction()
{
    return [] {
        const QString name = QString::fromStdString(ZKApp::name());
        auto* box = new QMessageBox(QMessageBox::NoIcon, "About " + name, name, QMessageBox::Ok);
        box->setObjectName(QStringLiteral("aboutPanel"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        // The application's icon, its name in large type and its version, as an about panel shows.
        const QIcon icon = QApplication::windowIcon();
        if (!icon.isNull()) {
            box->setIconPixmap(icon.pixmap(64, 64));
        }
        QFont title = box->font();
        title.setPointSizeF(title.pointSizeF() * 1.3);
        title.setBold(true);
        if (auto* text = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            text->setFont(title);
        }
        box->setInformativeText("Version " + QString::fromStdString(ZKApp::versionWithBuild()));
        // Wide enough for its title: a bare box would leave the window manager only "Ab…".
        if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
            const int width = box->fontMetrics().horizontalAdvance(box->windowTitle()) + aboutTitleAllowance;
            grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                grid->rowCount(), 0, 1, grid->columnCount());
        }
        box->show();
        box->raise();
        box->activateWindow();
    };
}

std::function<void()> openURLAction(QUrl url)
{
    return [url = std::move(url)] { UrlOpener::openOrTell(url, "the link"); };
}

} // namespace zk
