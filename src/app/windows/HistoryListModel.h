#pragma once

#include "app/engine/Session.h"
#include "platform/combine/AnyCancellable.h"
#include "platform/time/Calendar.h"
#include "platform/time/Clock.h"

#include <QAbstractListModel>

#include <memory>
#include <optional>
#include <vector>

namespace platform::combine {
class Scheduler;
}

namespace kiruvo {

class SessionController;

// The History window's list: the stored sessions grouped by the calendar day they start on, one
// title row per day followed by that day's session rows. Days come in the order in which they first
// occur in the stored list and sessions keep their stored order, so with the history kept newest
// first the newest day and the newest session come first.
//
// Sessions come from the engine (its decoded history) and day totals from its queries. The model
// follows every change of "sessions" the engine announces, whoever made it: the change is taken on
// the next turn of the event loop as one reset. Texts are made when a row is first shown, so a long history
// opens fast.
//
// Days are those of the current calendar and time zone when the list is built, and it is built
// again when the zone changes, when the wall clock jumps and at midnight (today becomes yesterday);
// a day's title is written in that same zone, so a day's title always names the day its sessions
// were grouped by.
//
// Main-thread only.
class HistoryListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum class Kind { day, session };
    enum Role {
        // Kind, as an int.
        KindRole = Qt::UserRole + 1,
        // A day's title or a session's duration.
        TitleRole,
        // A day's total or a session's time range.
        DetailRole,
    };

    explicit HistoryListModel(SessionController& controller, QObject* parent = nullptr);
    ~HistoryListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Builds the list again from the stored history at once.
    void reload();
    // Where the wait for midnight is counted; the main thread's timers by default. Arms it anew.
    void setScheduler(platform::combine::Scheduler& scheduler);

    Kind kindAt(int row) const;
    // The session of a session row.
    const Session* sessionAt(int row) const;
    // The sessions of the day a row belongs to, in stored order, and the row's offset among them
    // (-1 for a day's title row).
    std::vector<Session> sessionsOfDayAt(int row, int* offset = nullptr) const;
    int dayCount() const { return static_cast<int>(m_days.size()); }
    // The first instant of the day of a row.
    platform::Date dayAt(int row) const;

    // The start of the day, in the list's calendar, on which the session starts.
    platform::Date dayKey(const Session& session) const;
    // A day's title in the list's calendar: the full date with its year for a day of another year,
    // "Today" or "Yesterday" (in the user's language) for those, else weekday, month and day.
    std::string dayTitle(platform::Date day) const;

private:
    struct Day {
        platform::Date start;
        int titleRow = 0;
        std::vector<int> sessions;
    };
    struct Row {
        Kind kind;
        int day;
        // Into the stored list, for a session row.
        int session;
    };
    struct Texts {
        QString title;
        QString detail;
    };

    void scheduleReload();
    void rebuild();
    // Builds the list again when the day the titles were written on ends.
    void armMidnight();
    const Texts& textsAt(int row) const;

    SessionController& m_controller;
    std::shared_ptr<const std::vector<Session>> m_sessions;
    platform::Calendar m_calendar;
    std::vector<Day> m_days;
    std::vector<Row> m_rows;
    mutable std::vector<std::optional<Texts>> m_texts;
    bool m_reloadScheduled = false;
    platform::Clock::ChangeObserverId m_clockObserver = 0;
    platform::combine::Scheduler* m_scheduler;
    platform::combine::AnyCancellable m_midnight;
};

} // namespace kiruvo
