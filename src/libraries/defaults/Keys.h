#pragma once

#include "libraries/defaults/Conversion.h"
#include "platform/store/UserDefaults.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace Defaults {

namespace detail {
// Reports that a value could not be converted for the store (logged and sent to the error reporter).
void reportConversionFailure(const platform::UserDefaults& suite, const std::string& name,
    const std::string& what, const ConversionIssues& issues);
// Reports, once per stored object, a stored value outside the range its key accepts.
void reportOutOfRange(const platform::UserDefaults& suite, const std::string& name,
    const platform::PropertyList& object, const std::string& rangeDescription);
// A value in range was read: the same refused value stored again later is reported again.
void forgetOutOfRange(const platform::UserDefaults& suite, const std::string& name);
} // namespace detail

// A settings key without its value type: the user-defaults name and the suite it lives in. The
// application declares its keys as function-local statics, created on first use.
class Keys {
public:
    Keys(std::string name, std::shared_ptr<platform::UserDefaults> suite);
    virtual ~Keys() = default;

    const std::string& name() const { return m_name; }
    const std::shared_ptr<platform::UserDefaults>& suite() const { return m_suite; }

    // Removes the stored value; the key reads as its default afterwards.
    void reset() const;

    // Equal names in the same suite object.
    friend bool operator==(const Keys& a, const Keys& b);
    std::size_t hash() const;

private:
    std::string m_name;
    std::shared_ptr<platform::UserDefaults> m_suite;
};

// A typed settings key. Its constructor registers the default in the suite's registration domain,
// so that the suite itself reads it while nothing is stored.
//
// A key may have a range: a stored value outside it reads like one that does not convert (the
// default applies) and stays stored as it is.
template <Storable Value> class Key : public Keys {
public:
    struct Range {
        std::function<bool(const Value&)> accepts;
        // For the report, as in "at least 1 second".
        std::string description;
    };

    Key(std::string name, Value defaultValue,
        std::shared_ptr<platform::UserDefaults> suite = platform::UserDefaults::standard())
        : Keys(std::move(name), std::move(suite))
        , m_defaultValue(std::move(defaultValue))
    {
        registerDefault();
    }
    Key(std::string name, Value defaultValue, Range range,
        std::shared_ptr<platform::UserDefaults> suite = platform::UserDefaults::standard())
        : Key(std::move(name), std::move(defaultValue), std::move(suite))
    {
        m_range = std::move(range);
    }

    // A key of an optional value without a default: it reads as nothing until written.
    explicit Key(std::string name,
        std::shared_ptr<platform::UserDefaults> suite
        = platform::UserDefaults::standard()) requires isOptional<Value>
        : Keys(std::move(name), std::move(suite))
    {
    }
    Key(std::string name, Range range,
        std::shared_ptr<platform::UserDefaults> suite
        = platform::UserDefaults::standard()) requires isOptional<Value>
        : Keys(std::move(name), std::move(suite)), m_range(std::move(range))
    {
    }

    const Value& defaultValue() const { return m_defaultValue; }

    // Whether a value read from the store may be used; reports a refused one once.
    bool accepts(const Value& value, const platform::PropertyList& stored) const
    {
        if (!m_range.accepts) {
            return true;
        }
        if (m_range.accepts(value)) {
            detail::forgetOutOfRange(*suite(), name());
            return true;
        }
        detail::reportOutOfRange(*suite(), name(), stored, m_range.description);
        return false;
    }

private:
    void registerDefault()
    {
        if (isNil(m_defaultValue)) {
            return;
        }
        detail::ConversionIssueScope scope;
        auto object = toSerializable(m_defaultValue);
        if (!object) {
            if (!scope.issues().encodingFailures.empty()) {
                detail::reportConversionFailure(
                    *suite(), name(), "The default value was not registered.", scope.issues());
            }
            return;
        }
        suite()->registerDefaults({ { name(), std::move(*object) } });
    }

    Value m_defaultValue {};
    Range m_range;
};

} // namespace Defaults

template <> struct std::hash<Defaults::Keys> {
    std::size_t operator()(const Defaults::Keys& key) const { return key.hash(); }
};
