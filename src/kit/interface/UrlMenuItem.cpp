#include "kit/interface/UrlMenuItem.h"

#include "kit/interface/UrlOpener.h"
#include "platform/Logger.h"

#include <QPointer>
#include <QUrl>

namespace zk {

UrlMenuItem::UrlMenuItem(const QString& title, QObject* parent)
    : QAction(title, parent)
{
    connect(this, &QAction::triggered, this, [self = QPointer<UrlMenuItem>(this)] {
        if (self) {
            self->open();
        }
    });
}

void UrlMenuItem::setUrl(const QString& url)
{
    m_url = url.isEmpty() ? std::nullopt : std::optional(url);
}

void UrlMenuItem::open() const
{
    const QUrl url(m_url.value_or(QString()), QUrl::StrictMode);
    if (!m_url || !url.isValid() || url.isRelative()) {
        platform::log(platform::LogLevel::Warning, platform::lcDesktop(),
            "The menu item \"" + text().toStdString() + "\" has no valid address to open: \""
                + m_url.value_or(QString()).toStdString() + "\"");
        return;
    }
    UrlOpener::openOrTell(url, "the link");
}

} // namespace zk
