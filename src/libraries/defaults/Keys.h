#pragma once

#include "libraries/defaults/Conversion.h"
#include "platform/store/UserDefaults.h"

#include <cstddef>
#include <memory>
#include <string>

namespace Defaults {

namespace detail {
// Reports that a value could not be converted for the store (logged and sent to the error reporter).
void reportConversionFailure(const platform::UserDefaults& suite, const std::string& name,
    const std::string& what, const ConversionIssues& issues);
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
template <Storable Value> class Key : public Keys {
public:
    Key(std::string name, Value defaultValue,
        std::shared_ptr<platform::UserDefaults> suite = platform::UserDefaults::standard())
        : Keys(std::move(name), std::move(suite))
        , m_defaultValue(std::move(defaultValue))
    {
        registerDefault();
    }

    // A key of an optional value without a default: it reads as nothing until written.
    explicit Key(std::string name,
        std::shared_ptr<platform::UserDefaults> suite
        = platform::UserDefaults::standard()) requires isOptional<Value>
        : Keys(std::move(name), std::move(suite))
    {
    }

    const Value& defaultValue() const { return m_defaultValue; }

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
};

} // namespace Defaults

template <> struct std::hash<Defaults::Keys> {
    std::size_t operator()(const Defaults::Keys& key) const { return key.hash(); }
};
