#include "kit/diagnostics/DebugScreen.h"

#include "kit/diagnostics/DebugActions.h"
#include "kit/diagnostics/DebugAddHighlightDrawnRectanglesSetting.h"
#include "kit/diagnostics/DebugLogScreen.h"
#include "kit/diagnostics/DebugSwitches.h"
#include "kit/diagnostics/DebugUserDefaultsScreen.h"
#include "kit/diagnostics/ResetAppData.h"
#include "libraries/defaults/Toggle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace zk {

DebugScreen::DebugScreen(QWidget* parent)
    : QWidget(parent)
{
    setMinimumSize(800, 400);
    auto* layout = new QHBoxLayout(this);
    m_sidebar = new QListWidget(this);
    m_sidebar->addItems({ QStringLiteral("Dashboard"), QStringLiteral("User Defaults"),
        QStringLiteral("Logs"), QStringLiteral("Settings") });
    m_sidebar->setFixedWidth(180);
    layout->addWidget(m_sidebar);
    m_detail = new QVBoxLayout;
    layout->addLayout(m_detail, 1);
    show(Page::dashboard);
    m_sidebar->setCurrentRow(0);
    connect(m_sidebar, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row <= static_cast<int>(Page::settings)) {
            show(static_cast<Page>(row));
        }
    });
}

void DebugScreen::show(Page page)
{
    if (m_current) {
        m_detail->removeWidget(m_current);
        m_current->deleteLater();
    }
    m_page = page;
    switch (page) {
    case Page::dashboard:
        m_current = makeDashboard();
        break;
    case Page::userDefaults:
        m_current = new DebugUserDefaultsScreen(this);
        break;
    case Page::logs:
        m_current = new DebugLogScreen(this);
        break;
    case Page::settings:
        m_current = makeSettings();
        break;
    }
    m_detail->addWidget(m_current);
}

QWidget* DebugScreen::makeDashboard()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* title = new QLabel(QStringLiteral("Debug"), page);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    layout->addWidget(title);
    auto* copy = new QPushButton(QStringLiteral("Copy Debug Info"), page);
    copy->setObjectName(copy->text());
    connect(copy, &QPushButton::clicked, page, [] { copyDebugInfoToPasteboard(); });
    layout->addWidget(copy, 0, Qt::AlignLeft);
    // No confirmation here, unlike the user's panel: this window is for developers.
    auto* erase = new QPushButton(QStringLiteral("Delete App Data"), page);
    erase->setObjectName(erase->text());
    connect(erase, &QPushButton::clicked, page, [] { deleteAppDataAndRelaunch(); });
    layout->addWidget(erase, 0, Qt::AlignLeft);
    layout->addStretch();
    return page;
}

QWidget* DebugScreen::makeSettings()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    for (const auto& row : DebugSwitches::rows()) {
        auto* toggle
            = new Defaults::Toggle(QString::fromStdString(row.title), DebugSwitches::key(row.key), page);
        toggle->setObjectName(QString::fromStdString(row.key));
        layout->addWidget(toggle);
    }
    layout->addWidget(new DebugAddHighlightDrawnRectanglesSetting(page));
    auto* note = new QLabel(QStringLiteral("The switches take effect at the next launch."), page);
    note->setEnabled(false);
    layout->addWidget(note);
    layout->addStretch();
    return page;
}

} // namespace zk
