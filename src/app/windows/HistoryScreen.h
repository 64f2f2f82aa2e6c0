#pragma once

#include "app/engine/Session.h"

#include <QWidget>

#include <optional>

#include <vector>

class QLabel;
class QMenu;
class QTableView;
class QToolButton;

namespace zk {
struct ExportFile;
class FileExporter;
} // namespace zk

namespace kiruvo {

class HistoryListModel;
class SessionController;
class StatsView;

// The whole content of the History window, 420 × 560: the statistics with the "More" menu at their
// top right (the two exports and "Clear History"), a divider, and the sessions grouped by day
// ("No Sessions" over an empty list). A session is chosen as in any list, by a click or the arrow
// keys, and stays chosen wherever the pointer goes and whatever the history gains meanwhile; the
// Delete and Backspace keys delete the chosen session only, and a row's context menu ("Delete")
// that row's. "Clear History" asks first. On the first opening ever, a note says what the window
// shows.
//
// Every change of the history goes through the engine, so its memo is renewed at once and a
// session stopped right afterwards cannot bring deleted sessions back. The list and the figures
// follow every change of "sessions", also those made elsewhere.
//
// Main-thread only.
class HistoryScreen : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 420;
    static constexpr int height = 560;
    // Small enough for 1366 × 768 at 200 % (384 points high, less a panel and a title bar): the
    // figures and a few rows; the list scrolls.
    static constexpr int minimumWidth = 340;
    static constexpr int minimumHeight = 300;

    QSize sizeHint() const override { return { width, height }; }
    static constexpr const char* welcomeMessageIdentifier = "historyWelcomeMessage";

    explicit HistoryScreen(SessionController& controller, QWidget* parent = nullptr);
    ~HistoryScreen() override;

    // The list's delete action: the first offset, when it is one of the day's sessions, names the
    // session whose id is removed from the history; the other offsets are ignored.
    void deleteSession(const std::vector<int>& offsets, const std::vector<Session>& daySessions);
    // The context menu's delete: removes every stored session equal to this one.
    void deleteSession(const Session& session);
    // Asks "Clear history?" and clears on "Clear History".
    void confirmClearHistory();
    // Empties the history. A running session is left alone and stored when it ends.
    void clearHistory();
    // Shows the note when the window is opened for the first time ever.
    void presentWelcomeMessageOnce();

    // Hand the history to the save dialog as CSV or JSON.
    void exportCSV();
    void exportJSON();

    // Whether the confirmation of "Clear History" or the one-time note is showing.
    bool isClearHistoryConfirmationDialogPresented() const
    {
        return m_isClearHistoryConfirmationDialogPresented;
    }
    bool isWelcomeMessagePresented() const { return m_isWelcomeMessagePresented; }
    // The file being exported while the save dialog is open.
    const std::optional<zk::ExportFile>& exportFile() const;

    HistoryListModel& model() const { return *m_model; }
    StatsView& statsView() const { return *m_stats; }
    QTableView& listView() const { return *m_list; }
    // The row of the chosen session; -1 when none is chosen.
    int selectedRow() const;
    QLabel& emptyLabel() const { return *m_emptyLabel; }
    QToolButton& moreButton() const { return *m_moreButton; }
    zk::FileExporter& exporter() const { return *m_exporter; }
    // The context menu of a row, built as it would be shown; empty for a day's title row.
    QMenu* makeContextMenu(int row);

protected:
    void showEvent(QShowEvent* event) override;
    // The Delete key on the list deletes the selected session.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void historyDidChange();
    void deleteSelectedSession();
    // Selects the first session, or the last, as Home and End do.
    void selectEndSession(bool last);
    // The first arrow key while nothing is chosen: Down chooses the session with the focus mark
    // (the newest on a fresh window, the one that took a deleted session's place), Up the one
    // above it. False when there is no session to choose.
    bool chooseFromMark(bool up);
    // The first session row at or after `row`, else the last one before it; -1 when none.
    int sessionRowNear(int row) const;
    // Puts the choice and the focus mark back on the sessions they were on before the list was
    // built again; nothing is chosen when the chosen session is gone.
    void restoreChoice();

    SessionController& m_controller;
    HistoryListModel* m_model;
    StatsView* m_stats;
    QTableView* m_list;
    QLabel* m_emptyLabel;
    QToolButton* m_moreButton;
    zk::FileExporter* m_exporter;
    // The chosen session and the one with the focus mark, while the list is built again.
    std::optional<platform::Uuid> m_chosenBeforeReset;
    std::optional<platform::Uuid> m_currentBeforeReset;
    int m_currentRowBeforeReset = -1;
    bool m_shownOnce = false;
    bool m_isClearHistoryConfirmationDialogPresented = false;
    bool m_isWelcomeMessagePresented = false;
};

} // namespace kiruvo
