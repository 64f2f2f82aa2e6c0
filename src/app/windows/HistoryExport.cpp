#include "app/windows/HistoryExport.h"

#include "app/engine/Iso8601.h"
#include "app/engine/SessionController.h"
#include "kit/foundation/MakeCSV.h"
#include "platform/Logger.h"
#include "platform/store/JsonWriter.h"

#include <cmath>
#include <limits>

namespace kiruvo::HistoryExport {

namespace {

std::string sessionText(const Session& session)
{
    return session.id()
        .uuidString()
        .append(" (")
        .append(std::to_string(session.dateRange().lowerBound.timeIntervalSinceReferenceDate))
        .append(" to ")
        .append(std::to_string(session.dateRange().upperBound.timeIntervalSinceReferenceDate))
        .append(")");
}

// Whole seconds toward zero, held to what an int64 can take.
std::int64_t wholeSeconds(const Session& session)
{
    const double seconds = session.dateRange().upperBound.timeIntervalSince(session.dateRange().lowerBound);
    constexpr double limit = 9223372036854775807.0; // 2^63, the first double past the range
    if (std::isfinite(seconds) && seconds < limit && seconds > -limit) {
        return static_cast<std::int64_t>(seconds);
    }
    platform::log(platform::LogLevel::Warning, platform::lcDesktop(),
        std::string("The duration of session ")
            .append(sessionText(session))
            .append(" is too long to write; the longest one is written"));
    return std::isnan(seconds) || seconds > 0 ? std::numeric_limits<std::int64_t>::max()
                                              : std::numeric_limits<std::int64_t>::min();
}

std::vector<ExportRecord> records(const std::vector<Session>& sessions)
{
    std::vector<ExportRecord> result;
    result.reserve(sessions.size());
    for (const auto& session : sessions) {
        if (auto record = exportRecord(session)) {
            result.push_back(std::move(*record));
        }
    }
    return result;
}

} // namespace

std::optional<ExportRecord> exportRecord(const Session& session)
{
    ExportRecord record;
    record.start = iso8601String(session.dateRange().lowerBound, false, session.timeZone());
    record.end = iso8601String(session.dateRange().upperBound, false, session.timeZone());
    if (record.start.empty() || record.end.empty()) {
        platform::log(platform::LogLevel::Warning, platform::lcDesktop(),
            std::string("Session ")
                .append(sessionText(session))
                .append(" has a date without a text form; it is left out of the export"));
        return std::nullopt;
    }
    record.duration = wholeSeconds(session);
    return record;
}

QByteArray csvData(const std::vector<Session>& sessions)
{
    std::vector<std::vector<std::string>> rows;
    for (auto& record : records(sessions)) {
        rows.push_back({ std::to_string(record.duration), std::move(record.start), std::move(record.end) });
    }
    const std::string text = zk::makeCSV({ "Duration", "Start", "End" }, rows);
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QByteArray jsonData(const std::vector<Session>& sessions)
{
    const auto all = records(sessions);
    if (all.empty()) {
        return QByteArrayLiteral("[]");
    }
    std::string text = "[\n";
    bool first = true;
    for (const auto& record : all) {
        if (!first) {
            text += ",\n";
        }
        first = false;
        text += "  {\n    \"duration\" : ";
        text += std::to_string(record.duration);
        text += ",\n    \"start\" : ";
        text += platform::JsonWriter::quoted(record.start);
        text += ",\n    \"end\" : ";
        text += platform::JsonWriter::quoted(record.end);
        text += "\n  }";
    }
    text += "\n]";
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string exportFilename(const SessionController& controller)
{
    std::string name = "Kiruvo Sessions ";
    if (const auto range = controller.allSessionsDateRange()) {
        const auto zone = platform::TimeZone::current();
        name += iso8601String(*range, true, true, zone, zone);
    }
    return name;
}

} // namespace kiruvo::HistoryExport
