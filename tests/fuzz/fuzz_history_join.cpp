// The join of two histories, written blind or over a base: every session once; written blind,
// every session of either side; written over a base, what either side took out of the base stays
// out and what either side added is in; an entry that is no session is kept unless taken out; and
// joining the result again with the same written history changes nothing.
//
// Input: the first byte chooses whether there is a base; each later byte is one session of
// sixteen (its low bits: in the base, in the stored history, in the written one, twice in the
// stored, twice in the written); bytes after the sixteenth are an entry that is no session, put
// into the stored history and, with an odd first byte, into the written one too.
#include "FuzzTarget.h"

#include "app/engine/Session.h"
#include "app/engine/SessionHistory.h"
#include "platform/time/Clock.h"

#include <algorithm>
#include <set>

namespace {

using kiruvo::Session;
using platform::PropertyList;
using platform::PropertyListArray;

constexpr std::size_t sessionCount = 16;

const std::vector<Session>& sessions()
{
    static const std::vector<Session> made = [] {
        std::vector<Session> all;
        const auto now = platform::Clock::shared().now();
        for (std::size_t index = 0; index < sessionCount; ++index) {
            const auto start = now.addingTimeInterval(-7200.0 * static_cast<double>(index + 1));
            all.push_back(*Session::make(
                platform::Uuid::random(), start, start.addingTimeInterval(1800), platform::TimeZone::utc()));
        }
        return all;
    }();
    return made;
}

// The session indices of a joined history (each must be one of ours), and its other entries.
std::pair<std::multiset<std::size_t>, std::vector<PropertyList>> contentsOf(const PropertyList& history)
{
    std::multiset<std::size_t> indices;
    std::vector<PropertyList> others;
    for (const auto& element : *history.getIf<PropertyListArray>()) {
        const auto* text = element.getIf<std::string>();
        const auto session = text ? Session::fromJsonText(*text) : std::nullopt;
        if (!session) {
            others.push_back(element);
            continue;
        }
        const auto found = std::find_if(sessions().begin(), sessions().end(),
            [&](const Session& known) { return known.id() == session->id(); });
        fuzz::require(found != sessions().end(), "the join makes up no session");
        fuzz::require(found->jsonText() == session->jsonText(), "a joined session is one of those given");
        indices.insert(static_cast<std::size_t>(found - sessions().begin()));
    }
    return { indices, others };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const bool withBase = (data[0] & 1) != 0;
    PropertyListArray base;
    PropertyListArray stored;
    PropertyListArray written;
    std::set<std::size_t> inBase;
    std::set<std::size_t> inStored;
    std::set<std::size_t> inWritten;
    const std::size_t given = std::min(size - 1, sessionCount);
    for (std::size_t index = 0; index < given; ++index) {
        const std::uint8_t bits = data[1 + index];
        const std::string text = sessions()[index].jsonText();
        if (bits & 1) {
            base.emplace_back(text);
            inBase.insert(index);
        }
        for (int copies = (bits & 2) ? ((bits & 8) ? 2 : 1) : 0; copies > 0; --copies) {
            stored.emplace_back(text);
            inStored.insert(index);
        }
        for (int copies = (bits & 4) ? ((bits & 16) ? 2 : 1) : 0; copies > 0; --copies) {
            written.emplace_back(text);
            inWritten.insert(index);
        }
    }
    std::optional<PropertyList> odd;
    if (size > 1 + sessionCount) {
        odd = PropertyList(fuzz::text(data + 1 + sessionCount, size - 1 - sessionCount));
        if (Session::fromJsonText(*odd->getIf<std::string>())) {
            odd.reset();
        }
    }
    if (odd) {
        stored.push_back(*odd);
        if (data[0] & 2) {
            written.push_back(*odd);
        }
    }
    const PropertyList baseList(base);
    const PropertyList* basePointer = withBase ? &baseList : nullptr;
    const auto joined = kiruvo::SessionHistory::joinStoredHistories(
        PropertyList(stored), PropertyList(written), basePointer);
    fuzz::require(joined.has_value(), "two histories always join");
    const auto [indices, others] = contentsOf(*joined);

    std::multiset<std::size_t> expected;
    for (std::size_t index = 0; index < given; ++index) {
        const bool stays = withBase
            ? ((inStored.contains(index) && (!inBase.contains(index) || inWritten.contains(index)))
                || (inWritten.contains(index) && !inBase.contains(index)))
            : (inStored.contains(index) || inWritten.contains(index));
        if (stays) {
            expected.insert(index);
        }
    }
    fuzz::require(indices == expected, "every session is kept once, and what either side took out stays out");
    if (odd) {
        fuzz::require(
            others == std::vector<PropertyList> { *odd }, "an entry that is no session is kept once");
    } else {
        fuzz::require(others.empty(), "the join makes up no entry");
    }

    const auto again
        = kiruvo::SessionHistory::joinStoredHistories(*joined, PropertyList(written), basePointer);
    fuzz::require(again && *again == *joined, "joining the result again changes nothing");
    return 0;
}
