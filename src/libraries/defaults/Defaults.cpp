#include "libraries/defaults/Defaults.h"

#include "platform/ErrorReporter.h"
#include "platform/Logger.h"
#include "platform/store/UnreadableBackup.h"

#include <QDateTime>

#include <fmt/format.h>

#include <functional>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace Defaults {

namespace {

thread_local bool propagationSuppressed = false;

void report(std::int64_t code, const std::string& message, std::map<std::string, std::string> userInfo)
{
    platform::log(platform::LogLevel::Error, platform::lcStore(), message);
    platform::ErrorEvent event;
    event.domain = "Defaults";
    event.code = code;
    event.message = message;
    event.userInfo = std::move(userInfo);
    event.file = __FILE__;
    event.line = __LINE__;
    platform::ErrorReporter::shared().capture(event);
}

void mix(std::size_t& seed, std::size_t value)
{
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

struct ReadableMemo {
    std::mutex mutex;
    // Suite address, name and value type to the fingerprint of the object last written.
    std::unordered_map<std::string, std::size_t> fingerprints;
};

ReadableMemo& readableMemo()
{
    static ReadableMemo memo;
    return memo;
}

std::string memoKey(const platform::UserDefaults& suite, const std::string& name, const std::type_info& type)
{
    return fmt::format("{}\x1f{}\x1f{}", static_cast<const void*>(&suite), type.name(), name);
}

} // namespace

namespace detail {

std::size_t fingerprint(const platform::PropertyList& object)
{
    std::size_t seed = object.value().index();
    std::visit(
        [&seed](const auto& value) {
            using V = std::decay_t<decltype(value)>;
            if constexpr (std::same_as<V, platform::PropertyListArray>) {
                mix(seed, value.size());
                for (const auto& element : value) {
                    mix(seed, fingerprint(element));
                }
            } else if constexpr (std::same_as<V, platform::PropertyListDictionary>) {
                mix(seed, value.size());
                for (const auto& [key, element] : value) {
                    mix(seed, std::hash<std::string>()(key));
                    mix(seed, fingerprint(element));
                }
            } else if constexpr (std::same_as<V, platform::Bytes>) {
                mix(seed,
                    std::hash<std::string_view>()(
                        std::string_view(reinterpret_cast<const char*>(value.data()), value.size())));
            } else if constexpr (std::same_as<V, platform::Date>) {
                mix(seed, std::hash<double>()(value.timeIntervalSinceReferenceDate));
            } else {
                mix(seed, std::hash<V>()(value));
            }
        },
        object.value());
    return seed;
}

bool isKnownReadable(const platform::UserDefaults& suite, const std::string& name, const std::type_info& type,
    std::size_t fingerprint)
{
    auto& memo = readableMemo();
    std::lock_guard lock(memo.mutex);
    auto it = memo.fingerprints.find(memoKey(suite, name, type));
    return it != memo.fingerprints.end() && it->second == fingerprint;
}

void rememberReadable(const platform::UserDefaults& suite, const std::string& name,
    const std::type_info& type, std::size_t fingerprint)
{
    auto& memo = readableMemo();
    std::lock_guard lock(memo.mutex);
    memo.fingerprints.insert_or_assign(memoKey(suite, name, type), fingerprint);
}

void reportConversionFailure(const platform::UserDefaults& suite, const std::string& name,
    const std::string& what, const ConversionIssues& issues)
{
    std::string reasons;
    for (const auto& failure : issues.encodingFailures) {
        reasons += reasons.empty() ? "" : "; ";
        reasons += failure;
    }
    report(1, fmt::format("Could not encode the value of \"{}\". {} {}", name, what, reasons),
        { { "key", name }, { "suite", suite.suiteName() }, { "reason", reasons } });
}

namespace {

// The refused value last reported per suite and key.
struct OutOfRangeMemo {
    std::mutex mutex;
    std::unordered_map<std::string, std::size_t> reported;
};

OutOfRangeMemo& outOfRangeMemo()
{
    static OutOfRangeMemo memo;
    return memo;
}

} // namespace

void forgetOutOfRange(const platform::UserDefaults& suite, const std::string& name)
{
    auto& memo = outOfRangeMemo();
    std::lock_guard lock(memo.mutex);
    if (!memo.reported.empty()) {
        memo.reported.erase(suite.suiteName() + '\x1f' + name);
    }
}

void reportOutOfRange(const platform::UserDefaults& suite, const std::string& name,
    const platform::PropertyList& object, const std::string& rangeDescription)
{
    {
        auto& memo = outOfRangeMemo();
        std::lock_guard lock(memo.mutex);
        const std::size_t print = fingerprint(object);
        auto [it, inserted] = memo.reported.try_emplace(suite.suiteName() + '\x1f' + name, print);
        if (!inserted && it->second == print) {
            return;
        }
        it->second = print;
    }
    report(4,
        fmt::format("The stored value of \"{}\" is outside its range ({}); the default is used and the "
                    "stored value is kept.",
            name, rangeDescription),
        { { "key", name }, { "suite", suite.suiteName() } });
}

bool backUpUnreadable(platform::UserDefaults& suite, const std::string& name,
    const platform::PropertyList& object, bool partlyReadable)
{
    const std::string backup = platform::unreadableBackupKey(name, QDateTime::currentSecsSinceEpoch(),
        [&suite](const std::string& key) { return suite.objectForKey(key).has_value(); });
    if (!suite.setObject(object, backup)) {
        report(3,
            fmt::format("The stored value of \"{}\" could not be read, and it was not replaced because it "
                        "could not be copied to \"{}\".",
                name, backup),
            { { "key", name }, { "suite", suite.suiteName() }, { "backupKey", backup } });
        return false;
    }
    report(2,
        fmt::format("The stored value of \"{}\" {} was copied to \"{}\" before being replaced.", name,
            partlyReadable ? "could be read only in part and" : "could not be read and", backup),
        { { "key", name }, { "suite", suite.suiteName() }, { "backupKey", backup } });
    return true;
}

} // namespace detail

void reset(const std::vector<std::reference_wrapper<const Keys>>& keys)
{
    for (const Keys& key : keys) {
        key.reset();
    }
}

void reset(const std::vector<std::string>& names, platform::UserDefaults& suite)
{
    for (const auto& name : names) {
        suite.removeObject(name);
    }
}

void removeAll(platform::UserDefaults& suite)
{
    suite.removeAll();
}

bool isPropagationSuppressed()
{
    return propagationSuppressed;
}

PropagationSuppression::PropagationSuppression()
    : m_previous(propagationSuppressed)
{
    propagationSuppressed = true;
}

PropagationSuppression::~PropagationSuppression()
{
    propagationSuppressed = m_previous;
}

} // namespace Defaults
