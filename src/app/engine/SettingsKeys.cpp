#include "app/engine/SettingsKeys.h"

#include "libraries/defaults/CodableForm.h"
#include "platform/desktop/StatusItem.h"
#include "platform/store/JsonWriter.h"

#include <cmath>
#include <mutex>
#include <unordered_map>

namespace kiruvo {

namespace {

// Looking a zone up by name costs more than decoding the rest of a session, and a history holds
// thousands of sessions in a handful of zones: zones already decoded are reused, keyed by the exact
// JSON they were decoded from, so the answer is the one the full decoding gives.
class ZoneCache {
public:
    std::optional<platform::TimeZone> find(const std::string& json)
    {
        std::lock_guard lock(m_mutex);
        auto found = m_zones.find(json);
        if (found == m_zones.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    void insert(std::string json, platform::TimeZone zone)
    {
        std::lock_guard lock(m_mutex);
        if (m_zones.size() >= 256) {
            m_zones.clear();
        }
        m_zones.insert_or_assign(std::move(json), std::move(zone));
    }

private:
    std::mutex m_mutex;
    std::unordered_map<std::string, platform::TimeZone> m_zones;
};

ZoneCache& zoneCache()
{
    static auto* cache = new ZoneCache();
    return *cache;
}

std::optional<double> finiteNumber(const platform::JsonValue& value)
{
    if (!value.is_number()) {
        return std::nullopt;
    }
    const double number = value.get<double>();
    return std::isfinite(number) ? std::optional(number) : std::nullopt;
}

std::optional<Session> decodeFully(const platform::JsonValue& json)
{
    try {
        Session session;
        from_json(json, session);
        return session;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// A session that cannot be one of the user's: longer than the history is kept, or outside the
// years 2001 to 2200. Counted, it would fill days with hundreds of hours.
bool isPlausible(const Session& session)
{
    constexpr double longest = 121.0 * 86400.0;
    // 2201-01-01T00:00:00Z, in seconds since 2001-01-01T00:00:00Z.
    constexpr double endOf2200 = 73048.0 * 86400.0;
    const platform::DateRange range = session.dateRange();
    const double start = range.lowerBound.timeIntervalSinceReferenceDate;
    const double end = range.upperBound.timeIntervalSinceReferenceDate;
    return start >= 0.0 && end < endOf2200 && end - start <= longest;
}

std::optional<Session> decodedSession(const std::string& text);

} // namespace

std::optional<Session> sessionFromStoredText(const std::string& text)
{
    auto session = decodedSession(text);
    if (session && !isPlausible(*session)) {
        return std::nullopt;
    }
    return session;
}

namespace {

std::optional<Session> decodedSession(const std::string& text)
{
    // Text that is one JSON value is that value's first element once wrapped; only other text
    // needs the wrapping (and its copy).
    auto json = platform::JsonReader::parse(text);
    if (!json) {
        json = Defaults::CodableForm::decodeJson(text);
    }
    if (!json) {
        return std::nullopt;
    }
    // The common case, a well-formed session in a zone seen before, without the zone lookup;
    // anything else takes the full decoding, which also decides every refusal.
    if (json->is_object()) {
        const auto id = json->find("id");
        const auto range = json->find("dateRange");
        const auto zone = json->find("timeZone");
        if (id != json->end() && id->is_string() && range != json->end() && range->is_array()
            && range->size() >= 2 && zone != json->end()) {
            // The usual form, {"identifier": name}, is keyed by the name without writing it out.
            const bool plainZone = zone->is_object() && zone->size() == 1 && zone->contains("identifier")
                && (*zone)["identifier"].is_string();
            const std::string zoneJson = plainZone
                ? "identifier:" + (*zone)["identifier"].get_ref<const std::string&>()
                : zone->dump();
            const auto cachedZone = zoneCache().find(zoneJson);
            const auto uuid = platform::Uuid::parse(id->get_ref<const std::string&>());
            const auto start = finiteNumber((*range)[0]);
            const auto end = finiteNumber((*range)[1]);
            if (cachedZone && uuid && start && end) {
                return Session::make(*uuid, platform::Date(*start), platform::Date(*end), *cachedZone);
            }
            auto session = decodeFully(*json);
            if (session) {
                zoneCache().insert(zoneJson, session->timeZone());
            }
            return session;
        }
    }
    return decodeFully(*json);
}

} // namespace

} // namespace kiruvo

namespace kiruvo::Keys {

namespace {

bool atLeastOneSecond(const zk::Duration& value)
{
    return std::isfinite(value.seconds) && value.seconds >= 1.0;
}

} // namespace

const Defaults::Key<std::vector<Session>>& sessions()
{
    static const Defaults::Key<std::vector<Session>> key("sessions", {});
    return key;
}

const Defaults::Key<ShowInMenuBar>& showInMenuBar()
{
    static const Defaults::Key<ShowInMenuBar> key("showInMenuBar", ShowInMenuBar::currentSessionDuration);
    return key;
}

const Defaults::Key<zk::Duration>& idleDurationBeforeStop()
{
    // A threshold under a second would end every session between two key presses, and one of zero
    // or less would stop all tracking.
    static const Defaults::Key<zk::Duration> key("idleDurationBeforeStop", zk::Duration::fromSeconds(600),
        { [](const zk::Duration& value) { return atLeastOneSecond(value); }, "at least 1 second" });
    return key;
}

const Defaults::Key<std::optional<zk::Duration>>& notifyInterval()
{
    // A shorter interval would remind the user many times a second.
    static const Defaults::Key<std::optional<zk::Duration>> key("notifyInterval",
        { [](const std::optional<zk::Duration>& value) { return !value || atLeastOneSecond(*value); },
            "at least 1 second" });
    return key;
}

const Defaults::Key<NotificationType>& notificationType()
{
    static const Defaults::Key<NotificationType> key("notificationType", NotificationType::popover);
    return key;
}

const Defaults::Key<std::optional<zk::MacSystemSound>>& notificationSound()
{
    static const Defaults::Key<std::optional<zk::MacSystemSound>> key("notificationSound");
    return key;
}

const Defaults::Key<bool>& notificationHapticFeedback()
{
    static const Defaults::Key<bool> key("notificationHapticFeedback", false);
    return key;
}

const Defaults::Key<std::optional<platform::Uuid>>& notificationRunShortcut()
{
    static const Defaults::Key<std::optional<platform::Uuid>> key("notificationRunShortcut");
    return key;
}

const Defaults::Key<bool>& toggleEnabledWithLeftClick()
{
    static const Defaults::Key<bool> key("toggleEnabledWithLeftClick", false);
    return key;
}

const Defaults::Key<bool>& dimMenuBarItemWhileDisabled()
{
    static const Defaults::Key<bool> key("dimMenuBarItemWhileDisabled", true);
    return key;
}

const Defaults::Key<MenuBarIcon>& menuBarIcon()
{
    static const Defaults::Key<MenuBarIcon> key("menuBarIcon", MenuBarIcon::heart);
    return key;
}

const Defaults::Key<bool>& enableAtLaunch()
{
    static const Defaults::Key<bool> key("enableAtLaunch", true);
    return key;
}

const Defaults::Key<std::optional<double>>& menuBarTextVerticalAlignmentOffset()
{
    // Moved further than the bar is high, the title leaves the status item and it shows nothing.
    static const Defaults::Key<std::optional<double>> key("menuBarTextVerticalAlignmentOffset",
        { [](const std::optional<double>& value) {
             return !value || (std::isfinite(*value) && std::fabs(*value) <= platform::statusBarThickness);
         },
            "within the height of the status item" });
    return key;
}

const Defaults::Key<bool>& showDurationInMenuBar()
{
    static const Defaults::Key<bool> key("showDurationInMenuBar", true);
    return key;
}

const Defaults::Key<bool>& useSystemNotifications()
{
    static const Defaults::Key<bool> key("useSystemNotifications", false);
    return key;
}

void registerAll()
{
    sessions();
    showInMenuBar();
    idleDurationBeforeStop();
    notifyInterval();
    notificationType();
    notificationSound();
    notificationHapticFeedback();
    notificationRunShortcut();
    toggleEnabledWithLeftClick();
    dimMenuBarItemWhileDisabled();
    menuBarIcon();
    enableAtLaunch();
    menuBarTextVerticalAlignmentOffset();
    showDurationInMenuBar();
    useSystemNotifications();
}

} // namespace kiruvo::Keys
