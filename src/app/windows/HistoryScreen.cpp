#include "app/windows/HistoryScreen.h"

#include "app/engine/SessionController.h"
#include "app/windows/HistoryExport.h"
#include "app/windows/HistoryListModel.h"
#include "app/windows/HistoryRowDelegate.h"
#include "app/windows/StatsView.h"
#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/RunOnce.h"
#include "kit/foundation/SecondaryTextColor.h"
#include "kit/interface/FileExporter.h"
#include "kit/interface/HeaderlessTableView.h"
#include "platform/desktop/MaterialDesignIcons.h"

#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kiruvo {

namespace {

QIcon moreIcon(const QWidget& widget)
{
    const qreal ratio = widget.devicePixelRatioF();
    const QImage image = platform::MaterialDesignIcons::render(
        "dots-horizontal", 20, ratio, widget.palette().color(QPalette::ButtonText));
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

} // namespace

HistoryScreen::HistoryScreen(SessionController& controller, QWidget* parent)
    : QWidget(parent)
    , m_controller(controller)
    , m_model(new HistoryListModel(controller, this))
    , m_stats(new StatsView(controller, this))
    , m_list(new zk::HeaderlessTableView(this))
    , m_emptyLabel(new QLabel(QStringLiteral("No Sessions"), this))
    , m_moreButton(new QToolButton(this))
    , m_exporter(new zk::FileExporter(this))
{
    setMinimumSize(minimumWidth, minimumHeight);

    // The statistics, with the menu button over their top right corner.
    auto* top = new QGridLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(m_stats, 0, 0);
    top->addWidget(m_moreButton, 0, 0, Qt::AlignTop | Qt::AlignRight);

    m_moreButton->setIcon(moreIcon(*this));
    if (m_moreButton->icon().isNull()) {
        m_moreButton->setText(QStringLiteral("⋯"));
    }
    m_moreButton->setToolTip(QStringLiteral("More"));
    m_moreButton->setAccessibleName(QStringLiteral("More"));
    m_moreButton->setAutoRaise(true);
    m_moreButton->setFixedWidth(30);
    m_moreButton->setPopupMode(QToolButton::InstantPopup);
    m_moreButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    m_moreButton->setContentsMargins(0, 0, 0, 0);
    auto* more = new QMenu(QStringLiteral("More"), m_moreButton);
    auto* csv = more->addAction(QStringLiteral("Export History as CSV…"), this, [this] { exportCSV(); });
    csv->setToolTip(QStringLiteral("Export the sessions as a CSV file."));
    auto* json = more->addAction(QStringLiteral("Export History as JSON…"), this, [this] { exportJSON(); });
    json->setToolTip(QStringLiteral("Export the sessions as a JSON file."));
    more->addSeparator();
    auto* clear = more->addAction(QStringLiteral("Clear History"), this, [this] { confirmClearHistory(); });
    clear->setObjectName(QStringLiteral("destructive"));
    more->setToolTipsVisible(true);
    m_moreButton->setMenu(more);
    m_moreButton->installEventFilter(this);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setItemDelegate(new HistoryRowDelegate(m_list));
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(HistoryRowDelegate::sessionRowHeight);
    m_list->setShowGrid(false);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setWordWrap(false);
    // Tab goes on to the next control, as in any list; a table would move its choice to the next
    // row instead, so that Tab and then Down chose the second session.
    m_list->setTabKeyNavigation(false);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        // The menu is opened on a row (the keyboard's menu key opens it on the current one),
        // which becomes the chosen row: what it deletes is what the list shows chosen.
        const int row = m_list->rowAt(position.y());
        if (QMenu* menu = makeContextMenu(row)) {
            m_list->selectionModel()->setCurrentIndex(
                m_model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(m_list->viewport()->mapToGlobal(position));
        }
    });
    m_list->installEventFilter(this);

    QFont emptyFont = m_emptyLabel->font();
    emptyFont.setPointSizeF(emptyFont.pointSizeF() * 1.6);
    m_emptyLabel->setFont(emptyFont);
    zk::useSecondaryTextColor(*m_emptyLabel);
    m_emptyLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_emptyLabel->setAlignment(Qt::AlignCenter);

    auto* listArea = new QGridLayout;
    listArea->setContentsMargins(0, 0, 0, 0);
    listArea->addWidget(m_list, 0, 0);
    listArea->addWidget(m_emptyLabel, 0, 0, Qt::AlignCenter);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(top);
    column->addSpacing(8);
    column->addWidget(divider);
    column->addLayout(listArea, 1);

    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        const auto idAt = [this](int row) -> std::optional<platform::Uuid> {
            const Session* session = m_model->sessionAt(row);
            return session ? std::optional(session->id()) : std::nullopt;
        };
        m_chosenBeforeReset = idAt(selectedRow());
        m_currentRowBeforeReset = m_list->currentIndex().isValid() ? m_list->currentIndex().row() : -1;
        m_currentBeforeReset = idAt(m_currentRowBeforeReset);
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        restoreChoice();
        historyDidChange();
    });
    historyDidChange();
}

HistoryScreen::~HistoryScreen() = default;

void HistoryScreen::historyDidChange()
{
    const bool empty = m_model->rowCount() == 0;
    m_emptyLabel->setVisible(empty);
    m_list->setAlternatingRowColors(!empty);
    // Day title rows are lower than session rows. Every row is set: the header keeps the heights
    // of the rows it had before the reset, so a session row where a day row was would stay low.
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const bool day = m_model->kindAt(row) == HistoryListModel::Kind::day;
        m_list->setRowHeight(
            row, day ? HistoryRowDelegate::dayRowHeight : HistoryRowDelegate::sessionRowHeight);
    }
    m_stats->refresh();
}

int HistoryScreen::selectedRow() const
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void HistoryScreen::restoreChoice()
{
    const auto rowOf = [this](const std::optional<platform::Uuid>& id) {
        for (int row = 0; id && row < m_model->rowCount(); ++row) {
            if (const Session* session = m_model->sessionAt(row); session && session->id() == *id) {
                return row;
            }
        }
        return -1;
    };
    const bool hadMark = m_currentBeforeReset.has_value();
    int current = rowOf(std::exchange(m_currentBeforeReset, std::nullopt));
    const int chosen = rowOf(std::exchange(m_chosenBeforeReset, std::nullopt));
    if (current < 0 && hadMark) {
        // Its session is gone (deleted, say): the mark goes to the one now in its place, so that
        // the arrow keys go on from there rather than from nowhere.
        current = sessionRowNear(std::exchange(m_currentRowBeforeReset, -1));
    }
    if (current >= 0) {
        m_list->selectionModel()->setCurrentIndex(m_model->index(current, 0), QItemSelectionModel::NoUpdate);
    }
    if (chosen >= 0) {
        m_list->selectionModel()->select(
            m_model->index(chosen, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

QMenu* HistoryScreen::makeContextMenu(int row)
{
    const Session* session = m_model->sessionAt(row);
    if (!session) {
        return nullptr;
    }
    auto* menu = new QMenu(m_list);
    menu->addAction(QStringLiteral("Delete"), this, [this, session = *session] { deleteSession(session); });
    return menu;
}

void HistoryScreen::deleteSelectedSession()
{
    int offset = -1;
    const auto daySessions = m_model->sessionsOfDayAt(selectedRow(), &offset);
    if (offset >= 0) {
        deleteSession({ offset }, daySessions);
    }
}

void HistoryScreen::deleteSession(const std::vector<int>& offsets, const std::vector<Session>& daySessions)
{
    if (offsets.empty() || offsets.front() < 0 || offsets.front() >= static_cast<int>(daySessions.size())) {
        return;
    }
    const platform::Uuid id = daySessions[offsets.front()].id();
    auto sessions = m_controller.allSessions();
    std::erase_if(sessions, [&id](const Session& stored) { return stored.id() == id; });
    m_controller.setAllSessions(std::move(sessions));
}

void HistoryScreen::deleteSession(const Session& session)
{
    auto sessions = m_controller.allSessions();
    std::erase(sessions, session);
    m_controller.setAllSessions(std::move(sessions));
}

void HistoryScreen::confirmClearHistory()
{
    zk::AlertDescription description;
    description.title = "Clear history?";
    description.message = "You cannot undo this action.";
    description.buttonTitles = { "Clear History", "Cancel" };
    description.destructiveButtonIndexes = { 0 };
    description.defaultButtonIndex = 1;
    QPointer<HistoryScreen> self(this);
    m_isClearHistoryConfirmationDialogPresented = true;
    zk::AlertPresenter::shared().present(
        zk::makeAlert(description),
        [self](int response) {
            if (!self) {
                return;
            }
            self->m_isClearHistoryConfirmationDialogPresented = false;
            if (response == 0) {
                self->clearHistory();
            }
        },
        window());
}

void HistoryScreen::clearHistory()
{
    m_controller.removeAllSessions();
}

void HistoryScreen::presentWelcomeMessageOnce()
{
    if (!zk::runOnce(welcomeMessageIdentifier)) {
        return;
    }
    zk::AlertDescription description;
    description.title = "Note";
    description.message
        = std::string("This data gives you a quick insight into your recent activity in the past ")
              .append(std::to_string(120))
              .append(" days.\n\nIf you need more stats and graphs, export the history as CSV or JSON from "
                      "the More menu (⋯) "
                      "and open it in a spreadsheet.");
    description.style = zk::AlertStyle::informational;
    QPointer<HistoryScreen> self(this);
    m_isWelcomeMessagePresented = true;
    zk::AlertPresenter::shared().present(
        zk::makeAlert(description),
        [self](int) {
            if (self) {
                self->m_isWelcomeMessagePresented = false;
            }
        },
        window());
}

const std::optional<zk::ExportFile>& HistoryScreen::exportFile() const
{
    return m_exporter->file();
}

void HistoryScreen::exportCSV()
{
    m_exporter->setFile(zk::ExportFile { HistoryExport::csvData(*m_controller.allSessionsShared()),
        zk::ContentType::commaSeparatedText(), HistoryExport::exportFilename(m_controller) });
}

void HistoryScreen::exportJSON()
{
    m_exporter->setFile(zk::ExportFile { HistoryExport::jsonData(*m_controller.allSessionsShared()),
        zk::ContentType::json(), HistoryExport::exportFilename(m_controller) });
}

void HistoryScreen::selectEndSession(bool last)
{
    const int count = m_model->rowCount();
    for (int step = 0; step < count; ++step) {
        const int row = last ? count - 1 - step : step;
        if (m_model->sessionAt(row)) {
            const QModelIndex index = m_model->index(row, 0);
            m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
            // A first session under its day's title shows the title too.
            m_list->scrollTo(last ? index : m_model->index(0, 0));
            return;
        }
    }
}

int HistoryScreen::sessionRowNear(int row) const
{
    const int count = m_model->rowCount();
    for (int candidate = std::max(row, 0); candidate < count; ++candidate) {
        if (m_model->sessionAt(candidate)) {
            return candidate;
        }
    }
    for (int candidate = std::min(row, count) - 1; candidate >= 0; --candidate) {
        if (m_model->sessionAt(candidate)) {
            return candidate;
        }
    }
    return -1;
}

bool HistoryScreen::chooseFromMark(bool up)
{
    const QModelIndex current = m_list->currentIndex();
    const int mark
        = current.isValid() && m_model->sessionAt(current.row()) ? current.row() : sessionRowNear(0);
    if (mark < 0) {
        return false;
    }
    int row = mark;
    for (int above = mark - 1; up && above >= 0; --above) {
        if (m_model->sessionAt(above)) {
            row = above;
            break;
        }
    }
    const QModelIndex index = m_model->index(row, 0);
    m_list->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // A first session under its day's title shows the title too.
    if (row == sessionRowNear(0)) {
        m_list->scrollTo(m_model->index(0, 0));
    }
    m_list->scrollTo(index);
    return true;
}

bool HistoryScreen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list && event->type() == QEvent::FocusIn && !m_list->currentIndex().isValid()) {
        // The focus mark needs a current row: the first session, not yet selected.
        for (int row = 0; row < m_model->rowCount(); ++row) {
            if (m_model->sessionAt(row)) {
                m_list->selectionModel()->setCurrentIndex(
                    m_model->index(row, 0), QItemSelectionModel::NoUpdate);
                break;
            }
        }
    }
    if (watched == m_moreButton && event->type() == QEvent::KeyPress) {
        // A tool button opens its menu on Space only; Return presses a focused button too.
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            m_moreButton->showMenu();
            return true;
        }
    }
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            deleteSelectedSession();
            return true;
        }
        // A list shows where the keyboard is before anything is chosen; the first arrow key starts
        // from there (the view would step past the marked row, or, with no current row after a
        // reset, try the day's title row and stay put).
        if ((key->key() == Qt::Key_Down || key->key() == Qt::Key_Up)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && selectedRow() < 0) {
            chooseFromMark(key->key() == Qt::Key_Up);
            return true;
        }
        // In a one-column list Home and End go to the first and last session (a table takes them
        // to the first and last column of the row, which here is no move at all).
        if ((key->key() == Qt::Key_Home || key->key() == Qt::Key_End)
            && (key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) == Qt::NoModifier) {
            selectEndSession(key->key() == Qt::Key_End);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void HistoryScreen::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        QPointer<HistoryScreen> self(this);
        QTimer::singleShot(0, this, [self] {
            if (self) {
                self->presentWelcomeMessageOnce();
            }
        });
    }
}

} // namespace kiruvo
