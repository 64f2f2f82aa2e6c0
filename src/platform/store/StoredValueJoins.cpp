#include "platform/store/StoredValueJoins.h"

#include <mutex>

namespace platform {

namespace {

struct ProcessJoins {
    std::mutex mutex;
    std::unordered_map<std::string, std::unordered_map<std::string, StoredValueJoin>> joins;
};

ProcessJoins& processJoins()
{
    static ProcessJoins joins;
    return joins;
}

} // namespace

void StoredValueJoins::set(const std::string& suite, const std::string& key, StoredValueJoin join)
{
    m_joins[suite][key] = std::move(join);
}

void StoredValueJoins::setForProcess(const std::string& suite, const std::string& key, StoredValueJoin join)
{
    auto& process = processJoins();
    std::lock_guard lock(process.mutex);
    process.joins[suite][key] = std::move(join);
}

StoredValueJoin StoredValueJoins::of(const std::string& suite, const std::string& key) const
{
    if (const auto it = m_joins.find(suite); it != m_joins.end()) {
        if (const auto found = it->second.find(key); found != it->second.end()) {
            return found->second;
        }
    }
    auto& process = processJoins();
    std::lock_guard lock(process.mutex);
    if (const auto it = process.joins.find(suite); it != process.joins.end()) {
        if (const auto found = it->second.find(key); found != it->second.end()) {
            return found->second;
        }
    }
    return nullptr;
}

std::optional<PropertyList> StoredValueJoins::intoNothing(
    const StoredValueJoin& join, const PropertyList& written, const PropertyList& base)
{
    std::optional<PropertyList> empty;
    if (written.isArray()) {
        empty = PropertyList(PropertyListArray {});
    } else if (written.getIf<std::int64_t>()) {
        empty = PropertyList(std::int64_t { 0 });
    }
    return empty ? join(*empty, written, &base) : std::nullopt;
}

} // namespace platform
