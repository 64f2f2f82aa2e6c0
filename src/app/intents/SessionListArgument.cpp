#include "app/intents/SessionListArgument.h"

#include <QDBusMetaType>
#include <QDBusVariant>
#include <QString>
#include <QVariantMap>

#include <optional>
#include <string>

namespace kiruvo {

namespace {

// A session's start or end as a{sv} of its calendar fields.
struct DateComponentsArgument {
    platform::DateComponents components;
};

} // namespace

} // namespace kiruvo

Q_DECLARE_METATYPE(kiruvo::DateComponentsArgument)

namespace kiruvo {

namespace {

void appendEntry(QDBusArgument& argument, const QString& key, const QVariant& value)
{
    argument.beginMapEntry();
    argument << key << QDBusVariant(value);
    argument.endMapEntry();
}

void beginDictionary(QDBusArgument& argument)
{
    argument.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QDBusVariant>());
}

QString qString(const std::optional<std::string>& text)
{
    return text ? QString::fromStdString(*text) : QString();
}

QDBusArgument& operator<<(QDBusArgument& argument, const DateComponentsArgument& date)
{
    const platform::DateComponents& components = date.components;
    const auto put = [&argument](const char* key, const std::optional<int>& value) {
        if (value) {
            appendEntry(argument, QString::fromLatin1(key), *value);
        }
    };
    beginDictionary(argument);
    put("day", components.day);
    put("hour", components.hour);
    put("minute", components.minute);
    put("month", components.month);
    put("nanosecond", components.nanosecond);
    put("second", components.second);
    if (components.timeZone) {
        appendEntry(
            argument, QStringLiteral("timeZone"), QString::fromStdString(components.timeZone->identifier()));
    }
    put("weekday", components.weekday);
    put("year", components.year);
    argument.endMap();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DateComponentsArgument& date)
{
    date = {};
    QVariantMap ignored;
    argument >> ignored;
    return argument;
}

void appendSession(QDBusArgument& argument, const Session_& session)
{
    beginDictionary(argument);
    appendEntry(argument, QStringLiteral("displayString"), QString::fromStdString(session.displayString()));
    appendEntry(argument, QStringLiteral("duration"), session.duration.value_or(0.0));
    if (session.endDate) {
        appendEntry(argument, QStringLiteral("endDate"), dateComponentsValue(*session.endDate));
    }
    appendEntry(argument, QStringLiteral("identifier"), qString(session.identifier()));
    if (session.startDate) {
        appendEntry(argument, QStringLiteral("startDate"), dateComponentsValue(*session.startDate));
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
    qDBusRegisterMetaType<SessionListArgument>();
}

QDBusArgument& operator<<(QDBusArgument& argument, const SessionListArgument& list)
{
    argument.beginArray(QMetaType::fromType<QVariantMap>());
    if (list.response && list.response->sessions) {
        for (const Session_& session : *list.response->sessions) {
            appendSession(argument, session);
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
