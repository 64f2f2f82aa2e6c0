#include "app/engine/CurrentSession.h"

#include "platform/ErrorReporter.h"
#include "platform/Logger.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <cmath>
#include <ctime>
#include <mutex>

#include <fmt/format.h>

namespace kiruvo {

namespace {

std::mutex handlerMutex;
CurrentSession::ReportHandler reportHandler;

void sendReport(CurrentSession::Report report)
{
    CurrentSession::ReportHandler handler;
    {
        std::lock_guard lock(handlerMutex);
        handler = reportHandler;
    }
    if (handler) {
        handler(report);
        return;
    }
    platform::log(platform::LogLevel::Error, platform::lcEngine(), report.description);
    platform::ErrorEvent event;
    event.domain = "GeneralError";
    event.code = 1;
    event.message = report.description;
    event.userInfo = std::move(report.metadata);
    event.file = std::move(report.file);
    event.line = report.line;
    platform::ErrorReporter::shared().capture(event);
}

// "2024-01-05 08:30:00 +0000", the form in which dates appear in reports and logs.
std::string dateDescription(platform::Date date)
{
    const double unix = std::floor(date.unixTime());
    if (!std::isfinite(unix) || std::fabs(unix) > 1e15) {
        return fmt::format("{} s since 2001-01-01", date.timeIntervalSinceReferenceDate);
    }
    const auto seconds = static_cast<std::time_t>(unix);
    std::tm parts {};
    gmtime_r(&seconds, &parts);
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02} +0000", parts.tm_year + 1900, parts.tm_mon + 1,
        parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
}

std::string rangeDescription(const platform::DateRange& range)
{
    return dateDescription(range.lowerBound) + "..." + dateDescription(range.upperBound);
}

} // namespace

void CurrentSession::setReportHandler(ReportHandler handler)
{
    std::lock_guard lock(handlerMutex);
    reportHandler = std::move(handler);
}

zk::Duration CurrentSession::duration() const
{
    return zk::Duration::fromSeconds(platform::Clock::shared().systemUptime()) - m_start;
}

platform::DateRange CurrentSession::dateRange() const
{
    const platform::Date now = platform::Clock::shared().now();
    const platform::Date end = now.addingTimeInterval(0.01);
    const zk::Duration length = duration();
    const platform::DateRange empty { end, end };

    // `!(> 0)` also catches a NaN length.
    if (!(length.seconds > 0)) {
        sendReport({ "Duration was zero or less: " + length.description(), debugInfo(length, empty), __FILE__,
            __LINE__ });
        return empty;
    }
    const platform::Date start = now.addingTimeInterval(-length.seconds);
    if (end < start || !std::isfinite(start.timeIntervalSinceReferenceDate)) {
        sendReport({ "Start time was newer than current time. Duration: " + length.description()
                + ". Start date: " + dateDescription(start) + ". Current date: " + dateDescription(end),
            {}, __FILE__, __LINE__ });
        return empty;
    }
    return { start, end };
}

std::map<std::string, std::string> CurrentSession::debugInfo() const
{
    return debugInfo(duration(), dateRange());
}

std::map<std::string, std::string> CurrentSession::debugInfo(
    zk::Duration duration, const platform::DateRange& range) const
{
    return {
        { "currentSession.start", m_start.description() },
        { "currentSession.duration", duration.description() },
        { "currentSession.dateRange", rangeDescription(range) },
    };
}

} // namespace kiruvo
