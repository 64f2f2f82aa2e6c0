#include "platform/store/OwnWrites.h"

#include "platform/store/PropertyListJson.h"

#include <algorithm>

namespace platform {

std::size_t OwnWrites::digestOf(const std::optional<std::string>& text)
{
    // A removal is told apart from every text, the empty one included.
    return text ? std::hash<std::string> {}(*text) : std::hash<std::string> {}(std::string(1, '\0'));
}

void OwnWrites::wrote(const std::string& suite, const std::string& key,
    const std::optional<std::string>& text, const std::optional<StoredValue>& before)
{
    auto [it, added] = m_writes[suite].try_emplace(key);
    Write& write = it->second;
    if (added) {
        write.base = before;
    } else if (before) {
        const std::optional<std::string> beforeText
            = *before ? PropertyListJson::encode(**before) : std::nullopt;
        if ((*before && !beforeText) || digestOf(beforeText) != write.digest) {
            write.base = before;
        }
    }
    write.digest = digestOf(text);
    write.order = ++m_count;
}

std::vector<PendingJournal::Write> OwnWrites::toJoin(
    const std::function<std::optional<std::string>(const std::string&, const std::string&)>& textOf) const
{
    std::vector<std::pair<std::uint64_t, PendingJournal::Write>> ordered;
    for (const auto& [suite, keys] : m_writes) {
        for (const auto& [key, write] : keys) {
            auto text = textOf(suite, key);
            if (digestOf(text) != write.digest) {
                continue;
            }
            PendingJournal::Write join { 0, suite, key, std::move(text), PendingJournal::Basis::Known,
                std::nullopt };
            if (!write.base) {
                join.basis = PendingJournal::Basis::Blind;
            } else if (*write.base) {
                join.base = PropertyListJson::encode(**write.base);
                if (!join.base) {
                    join.basis = PendingJournal::Basis::Blind;
                }
            }
            ordered.emplace_back(write.order, std::move(join));
        }
    }
    // In the order of the writes, as the file received them.
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<PendingJournal::Write> writes;
    writes.reserve(ordered.size());
    for (auto& [order, write] : ordered) {
        write.sequence = static_cast<std::int64_t>(order);
        writes.push_back(std::move(write));
    }
    return writes;
}

} // namespace platform
