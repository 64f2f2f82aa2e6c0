#pragma once

#include "libraries/defaults/Keys.h"

#include <concepts>
#include <functional>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

// The typed settings store over platform::UserDefaults.
//
//   static const Defaults::Key<bool>& enableAtLaunch() { static const Defaults::Key<bool> k("enableAtLaunch",
//   true); return k; } bool on = Defaults::get(enableAtLaunch()); Defaults::set(enableAtLaunch(), false);
//
// Reads never fail: an absent or unconvertible stored object reads as the key's default. Writes never
// lose data: a value that cannot be encoded is not written (the stored object stays and the failure
// is reported), and a stored object that does not convert is copied to a backup key
// ("<name>.unreadable-<unix seconds>") before a write replaces it.
//
// Safe from any thread, as platform::UserDefaults is; observers hear of a write on the writing thread.
namespace Defaults {

namespace detail {

// Copies an unconvertible stored object to a free backup key and reports it. False when the copy
// could not be stored: the object must then not be replaced.
bool backUpUnreadable(platform::UserDefaults& suite, const std::string& name,
    const platform::PropertyList& object, bool partlyReadable);

// A fingerprint of the object last written under a name as a given type, so that the check before
// the next write need not decode a large value (the history) that this process wrote itself.
std::size_t fingerprint(const platform::PropertyList& object);
bool isKnownReadable(const platform::UserDefaults& suite, const std::string& name, const std::type_info& type,
    std::size_t fingerprint);
void rememberReadable(const platform::UserDefaults& suite, const std::string& name,
    const std::type_info& type, std::size_t fingerprint);

// False when the stored object does not convert and could not be copied aside.
template <Storable Value> bool backUpIfUnreadable(platform::UserDefaults& suite, const std::string& name)
{
    auto object = suite.objectForKey(name);
    if (!object || isKnownReadable(suite, name, typeid(Value), fingerprint(*object))) {
        return true;
    }
    ConversionIssueScope scope;
    auto value = toValue<Value>(*object);
    if (value && scope.issues().droppedElements == 0) {
        return true;
    }
    return backUpUnreadable(suite, name, *object, value.has_value());
}

enum class Backup { ofUnreadable, none };

// True when the value (or its removal) is what the suite holds now.
template <Storable Value>
bool write(platform::UserDefaults& suite, const std::string& name, const Value& value, Backup backup)
{
    if (isNil(value)) {
        if (backup == Backup::ofUnreadable && !backUpIfUnreadable<Value>(suite, name)) {
            return false;
        }
        suite.removeObject(name);
        return true;
    }
    ConversionIssueScope scope;
    auto object = toSerializable(value);
    if (!scope.issues().encodingFailures.empty() || !object) {
        if (!object || scope.issues().refusedValues > 0) {
            reportConversionFailure(
                suite, name, "The value was not written; the stored value is kept.", scope.issues());
            return false;
        }
        reportConversionFailure(suite, name,
            "The value was written without the elements that could not be encoded.", scope.issues());
    }
    if (backup == Backup::ofUnreadable && !backUpIfUnreadable<Value>(suite, name)) {
        return false;
    }
    const bool readable = scope.issues().encodingFailures.empty() && scope.issues().droppedElements == 0;
    const std::size_t written = fingerprint(*object);
    if (!suite.setObject(object, name)) {
        return false;
    }
    if (readable) {
        rememberReadable(suite, name, typeid(Value), written);
    }
    return true;
}

} // namespace detail

// The stored value under `name` converted to `Value`; nothing when nothing is stored (and no
// default is registered) or when it does not convert.
template <Storable Value>
std::optional<Value> read(const platform::UserDefaults& suite, const std::string& name)
{
    auto object = suite.objectForKey(name);
    if (!object) {
        return std::nullopt;
    }
    return toValue<Value>(*object);
}

// Stores `value` under `name`; an empty optional (or empty AnySerializable) removes the stored value.
template <Storable Value>
void write(platform::UserDefaults& suite, const std::string& name, const Value& value)
{
    detail::write(suite, name, value, detail::Backup::ofUnreadable);
}

template <Storable Value> Value get(const Key<Value>& key)
{
    auto object = key.suite()->objectForKey(key.name());
    if (!object) {
        return key.defaultValue();
    }
    auto value = toValue<Value>(*object);
    return value && key.accepts(*value, *object) ? std::move(*value) : key.defaultValue();
}

template <Storable Value> void set(const Key<Value>& key, const Value& value)
{
    write(*key.suite(), key.name(), value);
}

// Reads the value, lets `change` edit it in place and writes it back, also when `change` throws
// (the exception then goes on to the caller).
template <Storable Value, std::invocable<Value&> Change> void modify(const Key<Value>& key, Change&& change)
{
    Value value = get(key);
    try {
        std::forward<Change>(change)(value);
    } catch (...) {
        set(key, value);
        throw;
    }
    set(key, value);
}

// Removes the stored value of each key, in order.
template <std::derived_from<Keys>... K> void reset(const K&... keys)
{
    (keys.reset(), ...);
}
void reset(const std::vector<std::reference_wrapper<const Keys>>& keys);
// Removes the stored value of each name in `suite`, in order.
void reset(const std::vector<std::string>& names, platform::UserDefaults& suite);
// Removes every stored value of the suite; registered defaults stay.
void removeAll(platform::UserDefaults& suite);

// Whether observers on this thread must stay silent, because the store itself is rewriting values.
bool isPropagationSuppressed();

// Sets the propagation flag of the current thread while it lives and restores the previous state,
// so that suppressions nest and end also when the operation throws.
class PropagationSuppression {
public:
    PropagationSuppression();
    ~PropagationSuppression();
    PropagationSuppression(const PropagationSuppression&) = delete;
    PropagationSuppression& operator=(const PropagationSuppression&) = delete;

private:
    bool m_previous;
};

// Runs `operation` with change propagation suppressed on the current thread.
template <std::invocable Operation> void withoutPropagation(Operation&& operation)
{
    PropagationSuppression suppression;
    std::forward<Operation>(operation)();
}

} // namespace Defaults
