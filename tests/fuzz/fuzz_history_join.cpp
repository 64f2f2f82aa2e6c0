// The join of two histories, written blind or over a base, each session by its id with a text of
// its own in each history that changed it (so that an end that is lost shows): every session once;
// written blind, every session of either side, the written copy where both have one; written over
// a base, nothing the other side added or took out since the base is undone, unless the writer
// changed that session, and every change of the writer's is kept; an entry that is no session is
// kept unless taken out; and joining the result again with the same written history changes
// nothing.
//
// Input: the first byte chooses whether there is a base; each later byte is one session of
// sixteen (its low bits: in the base, in the stored history, in the written one, twice in the
// stored, twice in the written, the stored copy changed since the base, the written copy changed
// since the base); bytes after the sixteenth are an entry that is no session, put into the stored
// history and, with an odd first byte, into the written one too.
#include "FuzzTarget.h"

#include "app/engine/Session.h"
#include "app/engine/SessionHistory.h"
#include "platform/time/Clock.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

using kiruvo::Session;
using platform::PropertyList;
using platform::PropertyListArray;

constexpr std::size_t sessionCount = 16;

// The copies of one session: as in the base, as another program changed it, as the writer did.
enum Copy { inBaseCopy, theirCopy, ourCopy, copyCount };

const std::vector<Session>& sessions()
{
    static const std::vector<Session> made = [] {
        std::vector<Session> all;
        const auto now = platform::Clock::shared().now();
        for (std::size_t index = 0; index < sessionCount; ++index) {
            const auto id = platform::Uuid::random();
            const auto start = now.addingTimeInterval(-7200.0 * static_cast<double>(index + 1));
            for (int copy = 0; copy < copyCount; ++copy) {
                all.push_back(*Session::make(
                    id, start, start.addingTimeInterval(1800.0 + 60.0 * copy), platform::TimeZone::utc()));
            }
        }
        return all;
    }();
    return made;
}

const Session& copyOf(std::size_t index, Copy copy)
{
    return sessions()[index * copyCount + static_cast<std::size_t>(copy)];
}

// The sessions of a joined history by index, with the copy each is (each must be one of ours), and
// its other entries.
struct Contents {
    std::multiset<std::size_t> indices;
    std::map<std::size_t, Copy> copies;
    std::vector<PropertyList> others;
};

Contents contentsOf(const PropertyList& history)
{
    Contents contents;
    for (const auto& element : *history.getIf<PropertyListArray>()) {
        const auto* text = element.getIf<std::string>();
        const auto session = text ? Session::fromJsonText(*text) : std::nullopt;
        if (!session) {
            contents.others.push_back(element);
            continue;
        }
        const auto found = std::find_if(sessions().begin(), sessions().end(),
            [&](const Session& known) { return known.jsonText() == session->jsonText(); });
        fuzz::require(found != sessions().end(), "the join makes up no session");
        const auto position = static_cast<std::size_t>(found - sessions().begin());
        contents.indices.insert(position / copyCount);
        contents.copies[position / copyCount] = static_cast<Copy>(position % copyCount);
    }
    return contents;
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
    // The copy each side has of each session.
    std::map<std::size_t, Copy> storedCopy;
    std::map<std::size_t, Copy> writtenCopy;
    for (std::size_t index = 0; index < given; ++index) {
        const std::uint8_t bits = data[1 + index];
        if (bits & 1) {
            base.emplace_back(copyOf(index, inBaseCopy).jsonText());
            inBase.insert(index);
        }
        storedCopy[index] = (bits & 1) && !(bits & 32) ? inBaseCopy : theirCopy;
        writtenCopy[index] = (bits & 1) && !(bits & 64) ? inBaseCopy : ourCopy;
        for (int copies = (bits & 2) ? ((bits & 8) ? 2 : 1) : 0; copies > 0; --copies) {
            stored.emplace_back(copyOf(index, storedCopy[index]).jsonText());
            inStored.insert(index);
        }
        for (int copies = (bits & 4) ? ((bits & 16) ? 2 : 1) : 0; copies > 0; --copies) {
            written.emplace_back(copyOf(index, writtenCopy[index]).jsonText());
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
    const auto [indices, copies, others] = contentsOf(*joined);

    for (std::size_t index = 0; index < given; ++index) {
        const bool based = withBase && inBase.contains(index);
        const bool isStored = inStored.contains(index);
        const bool isWritten = inWritten.contains(index);
        // Changed by the writer since the base: a session it added, or a copy of its own.
        const bool ours = isWritten && (!based || writtenCopy[index] != inBaseCopy);
        bool stays = true;
        const char* property = "what neither side took out is kept";
        if (!withBase) {
            stays = isStored || isWritten;
            property = "written blind, every session of either side is kept";
        } else if (ours) {
            property = "what the writer added or changed is kept";
        } else if (!based) {
            stays = isStored;
            property = "what the other side added since the base is kept";
        } else if (!isStored) {
            stays = false;
            property = "what the other side took out since the base stays out";
        } else if (!isWritten) {
            stays = false;
            property = "what the writer took out of the base stays out";
        }
        fuzz::require(indices.count(index) == (stays ? 1u : 0u), property);
        if (stays) {
            const Copy kept = isWritten && (ours || !withBase) ? writtenCopy[index] : storedCopy[index];
            fuzz::require(copies.at(index) == kept,
                "a session the writer changed is its copy, any other the stored one");
        }
    }
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
