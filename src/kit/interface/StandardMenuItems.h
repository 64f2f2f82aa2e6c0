#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <string>

class QAction;
class QMenu;

namespace zk {

class CallbackMenuItem;

// The small font of section headers: the application font at 11/13 of its size, as small system
// text is to ordinary text.
double smallFontPointSize();

// Appends a section header: a disabled item in the small font, after a separator when
// `separatorBefore`. Returns the header.
QAction* addHeader(QMenu& menu, const QString& title, bool separatorBefore = false);

// Appends "Website", which opens `website`; with no website nothing is added and nothing returned.
CallbackMenuItem* addWebsiteItem(QMenu& menu, const std::optional<QUrl>& website);

// Appends "More Apps by Me", which opens the maker's page in the store when the application
// declares a store identifier (ZKApp::storeIdentifier), else the maker's own page that lists their
// applications.
CallbackMenuItem* addMoreAppsItem(QMenu& menu, const QUrl& makerAppsPage);
CallbackMenuItem* addMoreAppsItem(
    QMenu& menu, const QUrl& makerAppsPage, const std::optional<std::string>& storeIdentifier);

// Appends "Quit <app name>" with Ctrl+Q; the application quits once the menu has closed.
CallbackMenuItem* addQuitItem(QMenu& menu);

// The item title of the quit item for an application name.
QString quitItemTitle(const QString& applicationName);

// Closures for a menu builder's own items.
// Brings the settings window forward once the menu has closed.
std::function<void()> openSettingsAction();
// Opens the feedback form with the application's name and the debug fields as its metadata.
std::function<void()> sendFeedbackAction();
// Shows the application's name and version in a small window.
std::function<void()> showAboutPanelAction();
// Opens `url` in the user's browser (or whatever handles it); a failure is ignored.
std::function<void()> openURLAction(QUrl url);

} // namespace zk
