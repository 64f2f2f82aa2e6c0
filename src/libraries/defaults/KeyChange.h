#pragma once

#include "libraries/defaults/Conversion.h"
#include "platform/store/PropertyList.h"

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <set>
#include <utility>

// The change records handed to observers of settings keys, and the options of an observation.
namespace Defaults {

enum class ObservationOption {
    // One call when the observation starts, carrying the current value.
    initial,
    // One call for each change right before the ordinary one, carrying the value before the change.
    prior,
};

// A set of observation options. When both are asked for, only `initial` takes effect.
class ObservationOptions {
public:
    ObservationOptions() = default;
    ObservationOptions(std::initializer_list<ObservationOption> options)
    {
        for (auto option : options) {
            m_bits |= bit(option);
        }
    }

    bool contains(ObservationOption option) const { return (m_bits & bit(option)) != 0; }
    bool sendsInitial() const { return contains(ObservationOption::initial); }
    bool sendsPrior() const { return contains(ObservationOption::prior) && !sendsInitial(); }

    friend bool operator==(ObservationOptions, ObservationOptions) = default;

private:
    static unsigned bit(ObservationOption option) { return 1u << static_cast<unsigned>(option); }
    unsigned m_bits = 0;
};

// What kind of change a record describes. A settings value is always replaced as a whole, so the
// store reports `setting`; the other kinds exist for changes to parts of a collection.
enum class KeyValueChange { setting = 1, insertion = 2, removal = 3, replacement = 4 };

// A change of one key, with the values as the suite holds them (stored value, else registered
// default, else nothing).
struct BaseChange {
    KeyValueChange kind = KeyValueChange::setting;
    std::optional<std::set<std::size_t>> indexes;
    bool isPrior = false;
    std::optional<platform::PropertyList> newValue;
    std::optional<platform::PropertyList> oldValue;

    friend bool operator==(const BaseChange&, const BaseChange&) = default;
};

// A change of one typed key. A value that is absent or does not convert to `Value` is the key's
// default, so an initial record carries the default as its old value, a prior record the default
// as its new value, and a removal the default as its new value.
template <Storable Value> struct KeyChange {
    KeyValueChange kind = KeyValueChange::setting;
    std::optional<std::set<std::size_t>> indexes;
    bool isPrior = false;
    Value newValue;
    Value oldValue;

    KeyChange(const BaseChange& change, const Value& defaultValue)
        : kind(change.kind)
        , indexes(change.indexes)
        , isPrior(change.isPrior)
        , newValue(convert(change.newValue, defaultValue))
        , oldValue(convert(change.oldValue, defaultValue))
    {
    }

    friend bool operator==(const KeyChange& a, const KeyChange& b) requires std::equality_comparable<Value>
    {
        return a.kind == b.kind && a.indexes == b.indexes && a.isPrior == b.isPrior
            && a.newValue == b.newValue && a.oldValue == b.oldValue;
    }

private:
    static Value convert(const std::optional<platform::PropertyList>& object, const Value& defaultValue)
    {
        if (!object) {
            return defaultValue;
        }
        auto value = toValue<Value>(*object);
        return value ? std::move(*value) : defaultValue;
    }
};

} // namespace Defaults
