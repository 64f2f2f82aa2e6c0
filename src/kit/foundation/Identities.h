#pragma once

#include "kit/foundation/core/ErrorValues.h"

#include <QObject>
#include <QScreen>
#include <QVariant>

#include <cstdint>
#include <string>

namespace zk {

// Identities made from an object's own data, never its address, so two objects describing the
// same thing have the same identity.

// The code in decimal, the domain, the message and the recovery suggestion, run together.
std::string errorIdentity(const Error& error);
// The screen's connector name ("HDMI-1"), which outlives the QScreen object for a reconnected screen.
QString screenIdentity(const QScreen& screen);

// A typed value kept on any QObject under one slot; reads give the default when nothing, or a value
// of another type, is there. Main-thread objects: read and write on the object's thread.
template <class Value> class ObjectAssociation {
public:
    ObjectAssociation(const char* name, Value defaultValue = {})
        : m_name(name)
        , m_defaultValue(std::move(defaultValue))
    {
    }
    Value get(const QObject& object) const
    {
        const QVariant stored = object.property(m_name);
        if (!stored.isValid() || !stored.canConvert<Value>()
            || stored.metaType() != QMetaType::fromType<Value>()) {
            return m_defaultValue;
        }
        return stored.value<Value>();
    }
    void set(QObject& object, const Value& value) const
    {
        object.setProperty(m_name, QVariant::fromValue(value));
    }

private:
    const char* m_name;
    Value m_defaultValue;
};

} // namespace zk
