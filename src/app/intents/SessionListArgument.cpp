#include "app/intents/SessionListArgument.h"

#include <QDBusMetaType>
#include <QDBusVariant>
#include <QString>
#include <QVariantMap>

#include <deque>
#include <optional>
#include <string>
#include <utility>

#include <unicode/timezone.h>

namespace kiruvo {

namespace {

// A date's calendar fields as a{sv}, owning them: the start of a current session.
struct DateComponentsArgument {
    platform::DateComponents components;
};

// The same, borrowing them from a response being marshalled, with the zone's name already
// converted: a list of thousands of sessions copies no fields and converts each zone name once.
struct BorrowedDateComponentsArgument {
    const platform::DateComponents* components = nullptr;
    const QString* timeZone = nullptr;
};

} // namespace

} // namespace kiruvo

Q_DECLARE_METATYPE(kiruvo::DateComponentsArgument)
Q_DECLARE_METATYPE(kiruvo::BorrowedDateComponentsArgument)

namespace kiruvo {

namespace {

void beginDictionary(QDBusArgument& argument)
{
    argument.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QDBusVariant>());
}

template <class Value> void appendEntry(QDBusArgument& argument, const QString& key, Value&& value)
{
    argument.beginMapEntry();
    argument << key << QDBusVariant(QVariant::fromValue(std::forward<Value>(value)));
    argument.endMapEntry();
}

QString qString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString qString(const std::optional<std::string>& text)
{
    return text ? qString(*text) : QString();
}

QString zoneName(const platform::TimeZone& zone)
{
    return qString(zone.identifier());
}

void appendDateComponents(
    QDBusArgument& argument, const platform::DateComponents& components, const QString* timeZone)
{
    const auto put = [&argument](const QString& key, const std::optional<int>& value) {
        if (value) {
            appendEntry(argument, key, *value);
        }
    };
    beginDictionary(argument);
    put(QStringLiteral("day"), components.day);
    put(QStringLiteral("hour"), components.hour);
    put(QStringLiteral("minute"), components.minute);
    put(QStringLiteral("month"), components.month);
    put(QStringLiteral("nanosecond"), components.nanosecond);
    put(QStringLiteral("second"), components.second);
    if (components.timeZone) {
        appendEntry(
            argument, QStringLiteral("timeZone"), timeZone ? *timeZone : zoneName(*components.timeZone));
    }
    put(QStringLiteral("weekday"), components.weekday);
    put(QStringLiteral("year"), components.year);
    argument.endMap();
}

QDBusArgument& operator<<(QDBusArgument& argument, const DateComponentsArgument& date)
{
    appendDateComponents(argument, date.components, nullptr);
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const BorrowedDateComponentsArgument& date)
{
    // Qt D-Bus learns the signature by marshalling a default value, which borrows nothing.
    appendDateComponents(
        argument, date.components ? *date.components : platform::DateComponents(), date.timeZone);
    return argument;
}

template <class Date> const QDBusArgument& operator>>(const QDBusArgument& argument, Date& date)
{
    date = {};
    QVariantMap ignored;
    argument >> ignored;
    return argument;
}

// The names of the few zones a history was recorded in, each converted once per reply. Zones of
// one name share one ICU object, so the object tells them apart without comparing rules.
class ZoneNames {
public:
    const QString* nameOf(const std::optional<platform::DateComponents>& date)
    {
        if (!date->timeZone) {
            return nullptr;
        }
        const icu::TimeZone* zone = &date->timeZone->icu();
        for (const auto& [known, name] : m_names) {
            if (known == zone) {
                return &name;
            }
        }
        return &m_names.emplace_back(zone, zoneName(*date->timeZone)).second;
    }

private:
    // Stable addresses: a name is borrowed until the reply is written.
    std::deque<std::pair<const icu::TimeZone*, QString>> m_names;
};

void appendSession(QDBusArgument& argument, const Session_& session, ZoneNames& zones)
{
    beginDictionary(argument);
    appendEntry(argument, QStringLiteral("displayString"), qString(session.displayString()));
    appendEntry(argument, QStringLiteral("duration"), session.duration.value_or(0.0));
    if (session.endDate) {
        appendEntry(argument, QStringLiteral("endDate"),
            BorrowedDateComponentsArgument { &*session.endDate, zones.nameOf(session.endDate) });
    }
    appendEntry(argument, QStringLiteral("identifier"), qString(session.identifier()));
    if (session.startDate) {
        appendEntry(argument, QStringLiteral("startDate"),
            BorrowedDateComponentsArgument { &*session.startDate, zones.nameOf(session.startDate) });
    }
    appendEntry(argument, QStringLiteral("subtitleString"), qString(session.subtitleString()));
    argument.endMap();
}

} // namespace

QVariant dateComponentsValue(const platform::DateComponents& components)
{
    return QVariant::fromValue(DateComponentsArgument { components });
}

void registerSessionListArgument()
{
    qDBusRegisterMetaType<DateComponentsArgument>();
    qDBusRegisterMetaType<BorrowedDateComponentsArgument>();
    qDBusRegisterMetaType<SessionListArgument>();
}

QDBusArgument& operator<<(QDBusArgument& argument, const SessionListArgument& list)
{
    argument.beginArray(QMetaType::fromType<QVariantMap>());
    if (list.response && list.response->sessions) {
        ZoneNames zones;
        for (const Session_& session : *list.response->sessions) {
            appendSession(argument, session, zones);
        }
    }
    argument.endArray();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SessionListArgument& list)
{
    list = {};
    QList<QVariantMap> ignored;
    argument >> ignored;
    return argument;
}

} // namespace kiruvo
