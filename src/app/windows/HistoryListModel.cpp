#include "app/windows/HistoryListModel.h"

#include "app/engine/SessionController.h"
#include "app/engine/SharedFormatters.h"
#include "platform/combine/Scheduler.h"
#include "platform/time/Clock.h"
#include "platform/time/DateFormatter.h"

#include <algorithm>

namespace kiruvo {

HistoryListModel::HistoryListModel(SessionController& controller, QObject* parent)
    : QAbstractListModel(parent)
    , m_controller(controller)
    , m_calendar(platform::Calendar::current())
    , m_scheduler(&platform::combine::Scheduler::main())
{
    // Taken on the next turn of the event loop, once for a burst of changes.
    connect(&controller, &SessionController::historyChanged, this, &HistoryListModel::scheduleReload);
    // A new time zone regroups the days, and a step of the clock may have made today yesterday.
    m_clockObserver = platform::Clock::addChangeObserver([this] { scheduleReload(); });
    rebuild();
}

HistoryListModel::~HistoryListModel()
{
    platform::Clock::removeChangeObserver(m_clockObserver);
}

void HistoryListModel::setScheduler(platform::combine::Scheduler& scheduler)
{
    m_scheduler = &scheduler;
    armMidnight();
}

void HistoryListModel::armMidnight()
{
    // "Today" and "Yesterday" are true only until midnight. A wait that ends early (or a clock
    // that moved meanwhile) only builds the same list and waits again for the rest.
    const platform::Date now = platform::Clock::shared().now();
    const auto today = m_calendar.dayRange(now);
    if (!today) {
        m_midnight = platform::combine::AnyCancellable();
        return;
    }
    m_midnight = m_scheduler->schedule(
        std::max(0.0, today->upperBound.timeIntervalSince(now)), [this] { scheduleReload(); });
}

void HistoryListModel::scheduleReload()
{
    if (m_reloadScheduled) {
        return;
    }
    m_reloadScheduled = true;
    QMetaObject::invokeMethod(
        this, [this] { reload(); }, Qt::QueuedConnection);
}

void HistoryListModel::reload()
{
    m_reloadScheduled = false;
    beginResetModel();
    rebuild();
    endResetModel();
}

void HistoryListModel::rebuild()
{
    m_calendar = platform::Calendar::current();
    m_sessions = m_controller.allSessionsShared();
    m_days.clear();
    m_rows.clear();
    m_texts.clear();

    // Days in order of first occurrence. The stored list runs through each day in one stretch, so
    // the last day found answers nearly every session without asking the calendar.
    std::optional<platform::DateRange> lastRange;
    int lastDay = -1;
    for (int index = 0; index < static_cast<int>(m_sessions->size()); ++index) {
        const platform::Date start = (*m_sessions)[index].dateRange().lowerBound;
        int day = -1;
        if (lastRange && start >= lastRange->lowerBound && start < lastRange->upperBound) {
            day = lastDay;
        } else {
            const platform::Date key = m_calendar.startOfDay(start);
            for (int candidate = static_cast<int>(m_days.size()) - 1; candidate >= 0; --candidate) {
                if (m_days[candidate].start == key) {
                    day = candidate;
                    break;
                }
            }
            if (day == -1) {
                m_days.push_back({ key, 0, {} });
                day = static_cast<int>(m_days.size()) - 1;
            }
            lastRange = m_calendar.dayRange(start);
            lastDay = day;
        }
        m_days[day].sessions.push_back(index);
    }

    m_rows.reserve(m_sessions->size() + m_days.size());
    for (int day = 0; day < static_cast<int>(m_days.size()); ++day) {
        m_days[day].titleRow = static_cast<int>(m_rows.size());
        m_rows.push_back({ Kind::day, day, -1 });
        for (int session : m_days[day].sessions) {
            m_rows.push_back({ Kind::session, day, session });
        }
    }
    m_texts.resize(m_rows.size());
    armMidnight();
}

int HistoryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

Qt::ItemFlags HistoryListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size())) {
        return Qt::NoItemFlags;
    }
    // A day's title row is a section header: neither selectable nor reached by the keyboard.
    return m_rows[index.row()].kind == Kind::day ? Qt::NoItemFlags : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

HistoryListModel::Kind HistoryListModel::kindAt(int row) const
{
    return m_rows.at(row).kind;
}

const Session* HistoryListModel::sessionAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || m_rows[row].kind != Kind::session) {
        return nullptr;
    }
    return &(*m_sessions)[m_rows[row].session];
}

std::vector<Session> HistoryListModel::sessionsOfDayAt(int row, int* offset) const
{
    if (offset) {
        *offset = -1;
    }
    if (row < 0 || row >= static_cast<int>(m_rows.size())) {
        return {};
    }
    const Day& day = m_days[m_rows[row].day];
    std::vector<Session> sessions;
    sessions.reserve(day.sessions.size());
    for (int index : day.sessions) {
        sessions.push_back((*m_sessions)[index]);
    }
    if (offset && m_rows[row].kind == Kind::session) {
        *offset = row - day.titleRow - 1;
    }
    return sessions;
}

platform::Date HistoryListModel::dayAt(int row) const
{
    return m_days.at(m_rows.at(row).day).start;
}

platform::Date HistoryListModel::dayKey(const Session& session) const
{
    return m_calendar.startOfDay(session.dateRange().lowerBound);
}

std::string HistoryListModel::dayTitle(platform::Date day) const
{
    using Style = platform::DateFormatter::Style;
    const platform::Locale locale = platform::Locale::current();
    const platform::Date now = platform::Clock::shared().now();
    const auto yesterday = m_calendar.dateByAddingDays(-1, now);
    const int offset = m_calendar.isDateInSameDay(day, now)        ? 0
        : yesterday && m_calendar.isDateInSameDay(day, *yesterday) ? -1
                                                                   : 1;
    if (offset <= 0) {
        if (auto word = platform::DateFormatter::relativeDayName(offset, locale)) {
            return *word;
        }
    }
    const auto dayComponents = m_calendar.dateComponents(day);
    const auto nowComponents = m_calendar.dateComponents(now);
    const bool thisYear = dayComponents && nowComponents && dayComponents->year == nowComponents->year;
    if (!thisYear || offset <= 0) {
        return platform::DateFormatter(Style::full, Style::none, locale, m_calendar.timeZone()).string(day);
    }
    return platform::DateFormatter("EEEEMMMMd", locale, m_calendar.timeZone()).string(day);
}

const HistoryListModel::Texts& HistoryListModel::textsAt(int row) const
{
    auto& texts = m_texts[row];
    if (!texts) {
        const Row& entry = m_rows[row];
        if (entry.kind == Kind::day) {
            const platform::Date day = m_days[entry.day].start;
            const auto total = m_controller.totalDurationForDayAt(day).value_or(zk::Duration::zero());
            texts = Texts { QString::fromStdString(dayTitle(day)),
                QString::fromStdString(SharedFormatters::hoursMinutesStandaloneText(total)) };
        } else {
            const Session& session = (*m_sessions)[entry.session];
            const auto duration = SharedFormatters::hoursMinutesStandalone(
                session.dateRange().lowerBound, session.dateRange().upperBound);
            texts = Texts { QString::fromStdString(
                                duration.value_or(std::string(SharedFormatters::missingText))),
                QString::fromStdString(session.dateRangeString()) };
        }
    }
    return *texts;
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size())) {
        return {};
    }
    switch (role) {
    case KindRole:
        return static_cast<int>(m_rows[index.row()].kind);
    case Qt::DisplayRole:
    case TitleRole:
        return textsAt(index.row()).title;
    case DetailRole:
        return textsAt(index.row()).detail;
    case Qt::AccessibleTextRole: {
        const auto& texts = textsAt(index.row());
        return texts.title + QStringLiteral(", ") + texts.detail;
    }
    default:
        return {};
    }
}

} // namespace kiruvo
