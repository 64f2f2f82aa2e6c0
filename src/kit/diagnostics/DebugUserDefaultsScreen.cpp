#include "kit/diagnostics/DebugUserDefaultsScreen.h"

#include "kit/diagnostics/DebugFormatting.h"
#include "kit/diagnostics/DebugMoreMenu.h"
#include "kit/foundation/SystemEventPublishers.h"
#include "kit/interface/Pasteboard.h"
#include "platform/MainQueue.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

namespace zk {

namespace {

constexpr int sectionRole = Qt::UserRole + 1;
constexpr int offsetRole = Qt::UserRole + 2;

} // namespace

DebugUserDefaultsScreen::DebugUserDefaultsScreen(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("User Defaults"), this);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    header->addWidget(title);
    header->addStretch();
    m_moreMenu = new DebugMoreMenu([] { return hasContent(); }, [] { copyAll(); }, [] { clearAll(); }, this);
    header->addWidget(m_moreMenu);
    layout->addLayout(header);

    m_tree = new QTreeWidget(this);
    m_tree->setHeaderHidden(true);
    m_tree->setColumnCount(1);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setWordWrap(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        if (!m_tree->itemAt(position) || !m_tree->itemAt(position)->parent()) {
            return;
        }
        QMenu menu(this);
        menu.addAction(QStringLiteral("Delete"), this, [this] { deleteSelectedRows(); });
        menu.exec(m_tree->viewport()->mapToGlobal(position));
    });
    layout->addWidget(m_tree);

    // Every change of the settings, whatever thread wrote it, is announced on the main thread; one
    // reload follows any number of announcements queued together.
    m_defaultsChanges
        = std::make_unique<ListenOnlyPublisherObservable>(SystemEvents::userDefaultsDidChange());
    m_willChange = m_defaultsChanges->objectWillChange().sink([this](const platform::combine::Void&) {
        if (std::exchange(m_reloadPending, true)) {
            return;
        }
        platform::MainQueue::post(this, [this] {
            m_reloadPending = false;
            reload();
        });
    });
    reload();
}

void DebugUserDefaultsScreen::reload()
{
    m_tree->clear();
    m_shown.clear();
    const QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const DebugSuite& suite : debugSuites()) {
        SettingsDump dump = settingsDump(*suite.suite);
        auto* section = new QTreeWidgetItem(m_tree, QStringList { QString::fromStdString(suite.title) });
        section->setFlags(Qt::ItemIsEnabled);
        section->setFirstColumnSpanned(true);
        const int sectionIndex = static_cast<int>(m_shown.size());
        for (std::size_t offset = 0; offset < dump.size(); ++offset) {
            auto* row = new QTreeWidgetItem(section);
            auto* label = new QLabel(
                QStringLiteral(
                    "<b>%1</b><br><span style=\"font-family:'%2'; white-space:pre-wrap;\">%3</span>")
                    .arg(QString::fromStdString(dump[offset].first).toHtmlEscaped(), mono.family(),
                        QString::fromStdString(debugDescription(dump[offset].second)).toHtmlEscaped()),
                m_tree);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            label->setWordWrap(true);
            label->setContentsMargins(0, 4, 0, 4);
            row->setText(0, QString::fromStdString(dump[offset].first));
            row->setForeground(0, Qt::transparent);
            row->setData(0, sectionRole, sectionIndex);
            row->setData(0, offsetRole, static_cast<int>(offset));
            row->setSizeHint(0, label->sizeHint());
            m_tree->setItemWidget(row, 0, label);
        }
        m_shown.emplace_back(suite, std::move(dump));
        section->setExpanded(true);
    }
    m_moreMenu->refresh();
}

std::vector<std::pair<QString, QStringList>> DebugUserDefaultsScreen::sections() const
{
    std::vector<std::pair<QString, QStringList>> result;
    for (const auto& [suite, dump] : m_shown) {
        QStringList keys;
        for (const auto& entry : dump) {
            keys.append(QString::fromStdString(entry.first));
        }
        result.emplace_back(QString::fromStdString(suite.title), keys);
    }
    return result;
}

void DebugUserDefaultsScreen::deleteKeys(
    const DebugSuite& suite, const SettingsDump& shown, const std::vector<int>& offsets)
{
    for (int offset : offsets) {
        if (offset >= 0 && static_cast<std::size_t>(offset) < shown.size()) {
            suite.suite->removeObject(shown[static_cast<std::size_t>(offset)].first);
        }
    }
}

void DebugUserDefaultsScreen::deleteSelectedRows()
{
    std::map<int, std::vector<int>> offsetsBySection;
    for (const QTreeWidgetItem* item : m_tree->selectedItems()) {
        if (item->parent()) {
            offsetsBySection[item->data(0, sectionRole).toInt()].push_back(item->data(0, offsetRole).toInt());
        }
    }
    // The shown dumps stay as they are while the deletions run; the change notifications reload.
    const auto shown = m_shown;
    for (const auto& [section, offsets] : offsetsBySection) {
        if (section >= 0 && static_cast<std::size_t>(section) < shown.size()) {
            deleteKeys(shown[static_cast<std::size_t>(section)].first,
                shown[static_cast<std::size_t>(section)].second, offsets);
        }
    }
}

void DebugUserDefaultsScreen::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Backspace) {
        deleteSelectedRows();
        return;
    }
    QWidget::keyPressEvent(event);
}

std::string DebugUserDefaultsScreen::copyAllText()
{
    std::string text;
    for (const DebugSuite& suite : debugSuites()) {
        const std::string lines = keyValueLines(settingsDump(*suite.suite));
        if (!lines.empty()) {
            text += (text.empty() ? "" : "\n") + lines;
        }
    }
    return text;
}

void DebugUserDefaultsScreen::copyAll()
{
    copyTextToPasteboard(copyAllText());
}

void DebugUserDefaultsScreen::clearAll()
{
    for (const DebugSuite& suite : debugSuites()) {
        suite.suite->removeAll();
    }
}

bool DebugUserDefaultsScreen::hasContent()
{
    const auto suites = debugSuites();
    return std::any_of(suites.begin(), suites.end(),
        [](const DebugSuite& suite) { return !settingsDump(*suite.suite).empty(); });
}

} // namespace zk
