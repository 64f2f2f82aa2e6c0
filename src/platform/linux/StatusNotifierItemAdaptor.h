#pragma once

#include "platform/linux/StatusNotifierItemTypes.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QString>

#include <functional>

namespace platform {

// The org.kde.StatusNotifierItem interface of one item, with the AppIndicator label of the
// hosts that show text beside the icon (XAyatanaLabel, XAyatanaLabelGuide, XAyatanaNewLabel).
//
// It only holds what the item shows and tells the host of changes: each setter sends its change
// signal only when the value changed. The menu, when there is one, is a com.canonical.dbusmenu
// object of the same connection (Menu names its path; "/NO_DBUSMENU" while there is none). The
// host's Activate, SecondaryActivate and ContextMenu calls go to the click handler with the
// position the host gave, in their turn among the connection's calls (platform::BusCallQueue) when
// the adaptor's parent is a DBusCallContext. Main-thread only.
class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ emptyText)
    Q_PROPERTY(QString IconThemePath READ emptyText)
    Q_PROPERTY(platform::StatusNotifierIconPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyText)
    Q_PROPERTY(platform::StatusNotifierIconPixmaps OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyText)
    Q_PROPERTY(platform::StatusNotifierIconPixmaps AttentionIconPixmap READ iconPixmap)
    Q_PROPERTY(QString AttentionMovieName READ emptyText)
    Q_PROPERTY(platform::StatusNotifierToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)
public:
    // The host's click: the button it stands for and the position the host reported.
    using ClickHandler = std::function<void(Qt::MouseButton button, int x, int y)>;

    StatusNotifierItemAdaptor(QObject* parent, QString id, QString title);

    void setClickHandler(ClickHandler handler) { m_clickHandler = std::move(handler); }

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return m_id; }
    QString title() const { return m_title; }
    QString status() const { return m_status; }
    int windowId() const { return 0; }
    QString emptyText() const { return {}; }
    StatusNotifierIconPixmaps iconPixmap() const { return m_iconPixmaps; }
    StatusNotifierIconPixmaps noPixmaps() const { return {}; }
    StatusNotifierToolTip toolTip() const { return m_toolTip; }
    bool itemIsMenu() const { return m_itemIsMenu; }
    QDBusObjectPath menu() const
    {
        return QDBusObjectPath(m_menuPath.isEmpty() ? QStringLiteral("/NO_DBUSMENU") : m_menuPath);
    }
    QString label() const { return m_label; }
    QString labelGuide() const { return m_labelGuide; }

    static QString attentionStatus() { return QStringLiteral("NeedsAttention"); }
    void setStatus(const QString& status);
    void setIconPixmaps(const StatusNotifierIconPixmaps& pixmaps);
    void setToolTip(const StatusNotifierToolTip& toolTip);
    void setLabel(const QString& label, const QString& guide);
    // The menu's object path (empty for none). Hosts read it when the item registers.
    void setMenuPath(const QString& path) { m_menuPath = path; }
    // Whether hosts should show the menu on a plain click instead of calling Activate.
    void setItemIsMenu(bool itemIsMenu) { m_itemIsMenu = itemIsMenu; }

public Q_SLOTS:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);
    void XAyatanaNewLabel(const QString& label, const QString& guide);

private:
    void click(Qt::MouseButton button, int x, int y);

    QString m_id;
    QString m_title;
    QString m_status = QStringLiteral("Active");
    StatusNotifierIconPixmaps m_iconPixmaps;
    StatusNotifierToolTip m_toolTip;
    QString m_label;
    QString m_labelGuide;
    QString m_menuPath;
    bool m_itemIsMenu = false;
    // Whether the icon changed since hosts were last told of the attention icon.
    bool m_attentionIconUntold = false;
    ClickHandler m_clickHandler;
};

} // namespace platform
