#pragma once

#include <QAction>

#include <optional>

namespace zk {

// A menu item that opens the web address in its `url` property. Without an address, or with one
// that is not a valid absolute address, choosing it opens nothing and logs why.
// Main-thread only.
class UrlMenuItem : public QAction {
    Q_OBJECT
    Q_PROPERTY(QString url READ url WRITE setUrl)
public:
    explicit UrlMenuItem(const QString& title, QObject* parent = nullptr);

    QString url() const { return m_url.value_or(QString()); }
    bool hasUrl() const { return m_url.has_value(); }
    // An empty text clears the address.
    void setUrl(const QString& url);

private:
    void open() const;

    std::optional<QString> m_url;
};

} // namespace zk
