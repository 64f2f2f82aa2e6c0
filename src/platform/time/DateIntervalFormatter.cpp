#include "platform/time/DateIntervalFormatter.h"

#include "platform/time/WallClockFields.h"

#include <unicode/dtitvfmt.h>
#include <unicode/dtptngen.h>
#include <unicode/formattedvalue.h>
#include <unicode/udat.h>
#include <unicode/udateintervalformat.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace platform {

namespace {

// Which of the wall-clock fields differ between the two ends: ICU picks the locale's pattern for a
// span from these alone, so two spans that differ in the same fields are written alike. (Finer
// than ICU needs: more arrangements are kept, none is shared wrongly.)
int differingFields(const DateComponents& from, const DateComponents& to, double fromMs, double toMs)
{
    const bool differs[] = { from.year != to.year, from.month != to.month, from.day != to.day,
        (*from.hour < 12) != (*to.hour < 12), from.hour != to.hour, from.minute != to.minute,
        from.second != to.second, fromMs != toMs };
    int mask = 0;
    for (std::size_t bit = 0; bit < std::size(differs); ++bit) {
        mask |= differs[bit] ? 1 << bit : 0;
    }
    return mask;
}

// What the text of a date field is written from; nothing for a field whose text depends on more
// than one wall-clock field (a zone's name, a day period such as "noon"), never kept.
std::optional<int> fieldValue(int32_t field, const DateComponents& date)
{
    switch (field) {
    case UDAT_YEAR_FIELD:
        return date.year;
    case UDAT_MONTH_FIELD:
    case UDAT_STANDALONE_MONTH_FIELD:
        return date.month;
    case UDAT_DATE_FIELD:
        return date.day;
    case UDAT_HOUR_OF_DAY0_FIELD:
    case UDAT_HOUR_OF_DAY1_FIELD:
        return date.hour;
    case UDAT_HOUR0_FIELD:
    case UDAT_HOUR1_FIELD:
        return *date.hour % 12;
    case UDAT_AM_PM_FIELD:
        return *date.hour < 12 ? 0 : 1;
    case UDAT_MINUTE_FIELD:
        return date.minute;
    case UDAT_SECOND_FIELD:
        return date.second;
    case UDAT_DAY_OF_WEEK_FIELD:
    case UDAT_STANDALONE_DAY_FIELD:
    case UDAT_DOW_LOCAL_FIELD:
        return date.weekday;
    default:
        return std::nullopt;
    }
}

std::string utf8(const icu::UnicodeString& text, int32_t start, int32_t limit)
{
    std::string out;
    text.tempSubStringBetween(start, limit).toUTF8String(out);
    return out;
}

} // namespace

// The arrangements of the fields seen so far, one per set of differing fields: the literal text
// before each field, which end's value it shows, and the texts ICU wrote for its values.
struct DateIntervalFormatter::KeptTexts {
    struct Piece {
        std::string before;
        int32_t field = 0;
        // Whose value the field shows: the start's, the end's, or (outside both ends' parts, as
        // "AM" in "9:30 – 9:50 AM") one both share.
        enum Of { fromEnd, toEnd, shared } of = fromEnd;
        std::unordered_map<int, std::string> texts;
    };

    static std::optional<int> valueOf(const Piece& piece, const DateComponents (&ends)[2])
    {
        if (piece.of != Piece::shared) {
            return fieldValue(piece.field, ends[piece.of]);
        }
        const auto value = fieldValue(piece.field, ends[0]);
        return value == fieldValue(piece.field, ends[1]) ? value : std::nullopt;
    }
    struct Arrangement {
        std::vector<Piece> pieces;
        std::string after;
    };

    // Far more than the fields of any history: 31 days, 24 hours, 60 minutes, a few years.
    static constexpr std::size_t maximumTexts = 20'000;

    std::map<int, Arrangement> arrangements;
    std::size_t textCount = 0;
    // Set when ICU wrote something the kept texts would not have: from then on ICU writes all.
    bool refused = false;

    std::optional<std::string> write(int mask, const DateComponents (&ends)[2]) const
    {
        const auto found = arrangements.find(mask);
        if (found == arrangements.end()) {
            return std::nullopt;
        }
        std::string out;
        for (const Piece& piece : found->second.pieces) {
            const auto value = valueOf(piece, ends);
            const auto text = value ? piece.texts.find(*value) : piece.texts.end();
            if (text == piece.texts.end()) {
                return std::nullopt;
            }
            out += piece.before;
            out += text->second;
        }
        out += found->second.after;
        return out;
    }

    // Takes in what ICU wrote for a span whose ends have these fields.
    void learn(int mask, const DateComponents (&ends)[2], const icu::FormattedDateInterval& formatted)
    {
        UErrorCode status = U_ZERO_ERROR;
        const icu::UnicodeString text = formatted.toString(status);
        struct Range {
            int32_t start;
            int32_t limit;
            int32_t field;
        };
        std::vector<Range> fields;
        std::optional<Range> spans[2];
        icu::ConstrainedFieldPosition position;
        while (U_SUCCESS(status) && formatted.nextPosition(position, status)) {
            const Range range { position.getStart(), position.getLimit(), position.getField() };
            if (position.getCategory() == UFIELD_CATEGORY_DATE_INTERVAL_SPAN
                && (range.field == 0 || range.field == 1)) {
                spans[range.field] = range;
            } else if (position.getCategory() == UFIELD_CATEGORY_DATE) {
                fields.push_back(range);
            } else {
                return; // nothing known to keep
            }
        }
        if (U_FAILURE(status)) {
            return;
        }
        std::sort(
            fields.begin(), fields.end(), [](const Range& a, const Range& b) { return a.start < b.start; });

        Arrangement seen;
        int32_t at = 0;
        for (const Range& range : fields) {
            const auto within = [&range](const std::optional<Range>& span) {
                return span && span->start <= range.start && range.limit <= span->limit;
            };
            Piece piece;
            piece.field = range.field;
            if (within(spans[0]) && within(spans[1])) {
                return;
            }
            piece.of = within(spans[0]) ? Piece::fromEnd : within(spans[1]) ? Piece::toEnd : Piece::shared;
            const auto value = valueOf(piece, ends);
            if (range.start < at || !value) {
                return;
            }
            piece.before = utf8(text, at, range.start);
            piece.texts.emplace(*value, utf8(text, range.start, range.limit));
            seen.pieces.push_back(std::move(piece));
            at = range.limit;
        }
        seen.after = utf8(text, at, text.length());

        if (textCount + seen.pieces.size() > maximumTexts) {
            arrangements.clear();
            textCount = 0;
        }
        const auto [kept, isNew] = arrangements.emplace(mask, seen);
        if (isNew) {
            textCount += seen.pieces.size();
            return;
        }
        // The same fields differ, so ICU must have used the same arrangement; a text already kept
        // for a value must be the one ICU just wrote.
        Arrangement& arrangement = kept->second;
        bool same = arrangement.after == seen.after && arrangement.pieces.size() == seen.pieces.size();
        for (std::size_t i = 0; same && i < seen.pieces.size(); ++i) {
            Piece& known = arrangement.pieces[i];
            const Piece& piece = seen.pieces[i];
            same = known.before == piece.before && known.field == piece.field && known.of == piece.of;
            if (same) {
                const auto [text, added] = known.texts.insert(*piece.texts.begin());
                same = added || text->second == piece.texts.begin()->second;
                textCount += added ? 1 : 0;
            }
        }
        refused = !same;
    }
};

DateIntervalFormatter::DateIntervalFormatter(
    DateFormatter::Style dateStyle, DateFormatter::Style timeStyle, Locale locale, TimeZone timeZone)
    : m_timeZone(timeZone)
    , m_kept(std::make_unique<KeptTexts>())
{
    // The styles give the locale's pattern for one date; its skeleton (the fields it shows) is
    // what the interval format needs to pick the locale's interval patterns.
    const DateFormatter single(dateStyle, timeStyle, locale, timeZone);
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString skeleton = icu::DateTimePatternGenerator::staticGetSkeleton(
        icu::UnicodeString::fromUTF8(single.pattern()), status);
    if (U_SUCCESS(status)) {
        m_format.reset(icu::DateIntervalFormat::createInstance(skeleton, locale.icu(), status));
    }
    if (U_FAILURE(status) || !m_format) {
        throw std::runtime_error(
            std::string("Cannot create a date interval formatter: ") + u_errorName(status));
    }
    m_format->setTimeZone(timeZone.icu());
}

DateIntervalFormatter::~DateIntervalFormatter() = default;

std::string DateIntervalFormatter::string(Date start, Date end) const
{
    const double from = start.unixTime() * 1000.0;
    const double to = end.unixTime() * 1000.0;
    if (!std::isfinite(from) || !std::isfinite(to)) {
        return {};
    }
    return string(std::floor(from), std::floor(to));
}

std::string DateIntervalFormatter::string(double fromMs, double toMs) const
{
    const auto fromFields = wallClockFields(fromMs, m_timeZone);
    const auto toFields = wallClockFields(toMs, m_timeZone);
    const bool keepable = fromFields && toFields && fromMs <= toMs;
    std::lock_guard lock(m_mutex);
    if (!keepable || m_kept->refused) {
        icu::UnicodeString text;
        icu::FieldPosition position;
        UErrorCode status = U_ZERO_ERROR;
        const icu::DateInterval interval(fromMs, toMs);
        m_format->format(&interval, text, position, status);
        std::string out;
        if (U_SUCCESS(status)) {
            text.toUTF8String(out);
        }
        return out;
    }
    const DateComponents ends[2] = { *fromFields, *toFields };
    const int mask = differingFields(ends[0], ends[1], fromMs, toMs);
    if (auto text = m_kept->write(mask, ends)) {
        return std::move(*text);
    }
    UErrorCode status = U_ZERO_ERROR;
    const auto formatted = m_format->formatToValue(icu::DateInterval(fromMs, toMs), status);
    if (U_FAILURE(status)) {
        return {};
    }
    m_kept->learn(mask, ends, formatted);
    std::string out;
    formatted.toString(status).toUTF8String(out);
    return U_SUCCESS(status) ? out : std::string();
}

} // namespace platform
