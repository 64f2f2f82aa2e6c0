#include "kit/diagnostics/DebugLogScreen.h"

#include "kit/diagnostics/DebugMoreMenu.h"
#include "kit/interface/Pasteboard.h"
#include "platform/Logger.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QStringListModel>
#include <QVBoxLayout>

namespace zk {

DebugLogScreen::DebugLogScreen(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Logs"), this);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    header->addWidget(title);
    header->addStretch();
    m_moreMenu = new DebugMoreMenu([] { return !platform::DebugLog::entries().empty(); }, [] { copyLines(); },
        [this] {
            clearLines();
            refresh();
        },
        this);
    header->addWidget(m_moreMenu);
    layout->addLayout(header);

    m_model = new QStringListModel(this);
    m_list = new QListView(this);
    m_list->setModel(m_model);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setWordWrap(true);
    m_list->setUniformItemSizes(false);
    m_list->setSpacing(2);
    layout->addWidget(m_list);

    connect(&m_timeline, &TimelineView::tick, this, &DebugLogScreen::refresh);
    m_timeline.start();
    refresh();
}

void DebugLogScreen::refresh()
{
    std::vector<std::string> entries = platform::DebugLog::entries();
    if (entries == m_shown) {
        return;
    }
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(entries.size()));
    for (const auto& entry : entries) {
        rows.append(QString::fromStdString(entry).trimmed());
    }
    m_model->setStringList(rows);
    m_shown = std::move(entries);
    m_moreMenu->refresh();
}

QStringList DebugLogScreen::rows() const
{
    return m_model->stringList();
}

void DebugLogScreen::copyLines()
{
    std::string text;
    const auto entries = platform::DebugLog::entries();
    for (std::size_t index = 0; index < entries.size(); ++index) {
        text += (index ? "\n" : "") + entries[index];
    }
    copyTextToPasteboard(text);
}

void DebugLogScreen::clearLines()
{
    platform::DebugLog::clear();
}

} // namespace zk
