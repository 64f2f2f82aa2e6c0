#pragma once

#include <QWidget>

class QListWidget;
class QVBoxLayout;

namespace zk {

// The developer debug window's content: a sidebar of "Dashboard", "User Defaults", "Logs" and
// "Settings", and the page of the chosen entry beside it. Each choice builds its page anew; the
// window opens on the Dashboard. At least 800 × 400. Main-thread only.
class DebugScreen : public QWidget {
    Q_OBJECT
public:
    enum class Page { dashboard, userDefaults, logs, settings };

    explicit DebugScreen(QWidget* parent = nullptr);

    void show(Page page);
    Page currentPage() const { return m_page; }
    QWidget* currentPageWidget() const { return m_current; }
    QListWidget& sidebar() const { return *m_sidebar; }

private:
    QWidget* makeDashboard();
    QWidget* makeSettings();

    QListWidget* m_sidebar = nullptr;
    QVBoxLayout* m_detail = nullptr;
    QWidget* m_current = nullptr;
    Page m_page = Page::dashboard;
};

} // namespace zk
