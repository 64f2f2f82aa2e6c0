#pragma once

#include "libraries/defaults/Defaults.h"
#include "libraries/defaults/JsonCoding.h"
#include "libraries/defaults/NativeType.h"

// The migration of values kept in an older stored form: one JSON text of the whole value, where a
// raw-value type now stores its bare raw value.
namespace Defaults {

// The target of `Defaults::migrate`.
enum class Version { v5 = 5 };
std::optional<Version> versionFromRawValue(int rawValue);

// A raw-value type's Codable twin is written and read as the JSON of its raw value.
template <HasRawValue T> struct JsonCoding<RawCodableForm<T>> {
    using Raw = typename RawRepresentable<T>::RawValue;
    static platform::JsonValue encode(const RawCodableForm<T>& form)
    {
        return JsonCoding<Raw>::encode(RawRepresentable<T>::rawValue(form.value));
    }
    static std::optional<RawCodableForm<T>> decode(const platform::JsonValue& json)
    {
        auto raw = JsonCoding<Raw>::decode(json);
        if (!raw) {
            return std::nullopt;
        }
        auto value = RawRepresentable<T>::fromRawValue(*raw);
        if (!value) {
            return std::nullopt;
        }
        return RawCodableForm<T> { std::move(*value) };
    }
};

// Rewrites the value under `name` in `suite` kept in its older stored form, one JSON text of the
// whole value, into its current form: a type with a Codable twin (`NativeType`) is decoded as the
// twin and converted, any other as itself. A key that holds no text, or text that does not decode
// as the whole value, is left untouched, so the migration may run again on migrated data. False
// only when a decoded value could not be stored (the old text then stays, to be tried again).
template <Storable Value> bool migrateJSONString(platform::UserDefaults& suite, const std::string& name)
{
    auto object = suite.objectForKey(name);
    const std::string* text = object ? object->template getIf<std::string>() : nullptr;
    if (!text) {
        return true;
    }
    auto json = platform::JsonReader::parse(*text);
    if (!json) {
        return true;
    }
    if constexpr (HasNativeType<Value>) {
        using Form = typename NativeType<Value>::CodableForm;
        auto codable = JsonCoding<Form>::decode(*json);
        if (!codable) {
            return true;
        }
        // The old text is the value itself in another form, so no backup is kept of it.
        return detail::write(
            suite, name, Value(CodableType<Form>::toNativeForm(*codable)), detail::Backup::none);
    } else {
        auto value = JsonCoding<Value>::decode(*json);
        if (!value) {
            return true;
        }
        return detail::write(suite, name, *value, detail::Backup::none);
    }
}

// The migration of one key to `version`, on the key's suite under its name.
template <Storable Value> bool migrate(const Key<Value>& key, Version version)
{
    if (version != Version::v5) {
        return true;
    }
    return migrateJSONString<Value>(*key.suite(), key.name());
}
// Each key in order, each on its own: a key that fails does not stop the others. False when any
// decoded value could not be stored.
template <Storable... Value> bool migrate(Version version, const Key<Value>&... keys)
{
    bool stored = true;
    ((stored = migrate(keys, version) && stored), ...);
    return stored;
}

} // namespace Defaults
