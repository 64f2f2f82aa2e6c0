// The typed settings layer reading whatever a row holds: the input as a stored text, and as the
// object its text encodes, under a key of every type the application stores (and of the library's
// other stored forms). A read never fails and leaves the stored object as it is, and what it gives
// is written back in one form that reads back alike.
#include "FuzzFolder.h"
#include "FuzzTarget.h"

#include "app/engine/SettingsKeys.h"
#include "libraries/defaults/Defaults.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/UserDefaults.h"

#include <QColor>
#include <QUrl>

#include <map>
#include <set>
#include <vector>

namespace {

template <class Value> void check(const Defaults::Key<Value>& key, const platform::PropertyList& object)
{
    auto& suite = *key.suite();
    // What the store refuses (text that is not UTF-8) never reaches a reader.
    if (!suite.setObject(object, key.name())) {
        return;
    }
    const Value read = Defaults::get(key);
    fuzz::require(suite.objectForKey(key.name()) == object, "a read leaves the stored object as it is");
    Defaults::set(key, read);
    const auto written = suite.objectForKey(key.name());
    const Value again = Defaults::get(key);
    Defaults::set(key, again);
    fuzz::require(suite.objectForKey(key.name()) == written, "what a read gives is written back in one form");
    // Copies of unreadable values are not this input's concern.
    suite.removeAll();
}

template <class Value> const Defaults::Key<Value>& key(const char* name, Value defaultValue)
{
    static const Defaults::Key<Value> instance(name, std::move(defaultValue));
    return instance;
}

template <class Value> const Defaults::Key<std::optional<Value>>& optionalKey(const char* name)
{
    static const Defaults::Key<std::optional<Value>> instance(name);
    return instance;
}

void checkEveryType(const platform::PropertyList& object)
{
    check(kiruvo::Keys::sessions(), object);
    check(kiruvo::Keys::showInMenuBar(), object);
    check(kiruvo::Keys::idleDurationBeforeStop(), object);
    check(kiruvo::Keys::notifyInterval(), object);
    check(kiruvo::Keys::notificationType(), object);
    check(kiruvo::Keys::notificationSound(), object);
    check(kiruvo::Keys::notificationHapticFeedback(), object);
    check(kiruvo::Keys::notificationRunShortcut(), object);
    check(kiruvo::Keys::menuBarIcon(), object);
    check(kiruvo::Keys::menuBarTextVerticalAlignmentOffset(), object);
    check(key<std::int64_t>("fuzz.integer", 3), object);
    check(key<int>("fuzz.int", 3), object);
    check(key<double>("fuzz.double", 0.5), object);
    check(key<std::string>("fuzz.string", "default"), object);
    check(key<platform::Date>("fuzz.date", platform::Date(0)), object);
    check(optionalKey<platform::Bytes>("fuzz.data"), object);
    check(optionalKey<platform::Uuid>("fuzz.uuid"), object);
    check(optionalKey<QUrl>("fuzz.url"), object);
    check(optionalKey<QColor>("fuzz.color"), object);
    check(key<Defaults::AnySerializable>("fuzz.any", Defaults::AnySerializable()), object);
    check(key<std::vector<std::optional<int>>>("fuzz.array", {}), object);
    check(key<std::vector<std::string>>("fuzz.texts", {}), object);
    check(key<std::set<std::string>>("fuzz.set", {}), object);
    check(key<std::map<std::string, double>>("fuzz.dictionary", {}), object);
    check(key<std::map<std::string, platform::Bytes>>("fuzz.bookmarks", {}), object);
    check(key<std::vector<zk::Duration>>("fuzz.durations", {}), object);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool registered = [] {
        // Values that do not read are reported: into the run's own folder, never the user's.
        fuzz::Folder::path();
        kiruvo::Keys::registerAll();
        return true;
    }();
    (void)registered;
    const std::string text = fuzz::text(data, size);
    // As a text (the Codable form of a value, a raw value), and as the object it encodes.
    checkEveryType(platform::PropertyList(text));
    if (auto object = platform::PropertyListJson::decode(text)) {
        checkEveryType(*object);
    }
    return 0;
}
