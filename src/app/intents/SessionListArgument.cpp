#include "app/intents/SessionListArgument.h"

#include <QDBusMetaType>
#include <QDBusVariant>
#include <QString>
#include <QVariantMap>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <unicode/timezone.h>

namespace kiruvo {

namespace {

// A date's calendar fields as a{sv}, owning them: the start of a current session.
struct DateComponentsArgument {
    platform::DateComponents components;
};

struct ZoneName;

// The same, borrowing them from a response being marshalled, with the zone's name already
// converted: a list of thousands of sessions copies no fields and converts each zone name once.
struct BorrowedDateComponentsArgument {
    const platform::DateComponents* components = nullptr;
    const ZoneName* timeZone = nullptr;
};

} // namespace

} // namespace kiruvo

Q_DECLARE_METATYPE(kiruvo::DateComponentsArgument)
Q_DECLARE_METATYPE(kiruvo::BorrowedDateComponentsArgument)

namespace kiruvo {

namespace {

QString qString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString zoneName(const platform::TimeZone& zone)
{
    return qString(zone.identifier());
}

// A zone's name as a reply carries it; its length in UTF-8 is kept for counting the reply's size.
struct ZoneName {
    QString name;
    std::size_t utf8Length = 0;
};

// The names of the few zones a history was recorded in, each converted once per reply. Zones of
// one name share one ICU object, so the object tells them apart without comparing rules.
class ZoneNames {
public:
    const ZoneName* nameOf(const std::optional<platform::DateComponents>& date)
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
        const std::string& identifier = date->timeZone->identifier();
        return &m_names.emplace_back(zone, ZoneName { qString(identifier), identifier.size() }).second;
    }

private:
    // Stable addresses: a name is borrowed until the reply is written.
    std::deque<std::pair<const icu::TimeZone*, ZoneName>> m_names;
};

// The layout of the list, followed alike by the writer that marshals it and by the one that only
// counts its bytes, so that the count is always that of the message sent.
template <class Writer>
void writeDateComponents(Writer& writer, const platform::DateComponents& components, const ZoneName* zone)
{
    const auto put = [&writer](const QString& key, const std::optional<int>& value) {
        if (value) {
            writer.entry(key, *value);
        }
    };
    writer.beginDictionary();
    put(QStringLiteral("day"), components.day);
    put(QStringLiteral("hour"), components.hour);
    put(QStringLiteral("minute"), components.minute);
    put(QStringLiteral("month"), components.month);
    put(QStringLiteral("nanosecond"), components.nanosecond);
    put(QStringLiteral("second"), components.second);
    if (components.timeZone) {
        if (zone) {
            writer.entry(QStringLiteral("timeZone"), *zone);
        } else {
            const std::string& identifier = components.timeZone->identifier();
            writer.entry(
                QStringLiteral("timeZone"), ZoneName { zoneName(*components.timeZone), identifier.size() });
        }
    }
    put(QStringLiteral("weekday"), components.weekday);
    put(QStringLiteral("year"), components.year);
    writer.endDictionary();
}

const std::string& text(const std::optional<std::string>& text)
{
    static const std::string none;
    return text ? *text : none;
}

template <class Writer> void writeSession(Writer& writer, const Session_& session, ZoneNames& zones)
{
    writer.beginDictionary();
    writer.entry(QStringLiteral("displayString"), session.displayString());
    writer.entry(QStringLiteral("duration"), session.duration.value_or(0.0));
    if (session.endDate) {
        writer.dateEntry(QStringLiteral("endDate"), *session.endDate, zones.nameOf(session.endDate));
    }
    writer.entry(QStringLiteral("identifier"), text(session.identifier()));
    if (session.startDate) {
        writer.dateEntry(QStringLiteral("startDate"), *session.startDate, zones.nameOf(session.startDate));
    }
    writer.entry(QStringLiteral("subtitleString"), text(session.subtitleString()));
    writer.endDictionary();
}

template <class Writer> void writeSessions(Writer& writer, const SessionListArgument& list)
{
    writer.beginList();
    if (list.response && list.response->sessions) {
        ZoneNames zones;
        for (const Session_& session : *list.response->sessions) {
            writeSession(writer, session, zones);
        }
    }
    writer.endList();
}

// Writes into a D-Bus message, each dictionary as a{sv}.
class ArgumentWriter {
public:
    explicit ArgumentWriter(QDBusArgument& argument)
        : m_argument(argument)
    {
    }

    void beginList() { m_argument.beginArray(QMetaType::fromType<QVariantMap>()); }
    void endList() { m_argument.endArray(); }
    void beginDictionary()
    {
        m_argument.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QDBusVariant>());
    }
    void endDictionary() { m_argument.endMap(); }

    void entry(const QString& key, int value) { put(key, QVariant(value)); }
    void entry(const QString& key, double value) { put(key, QVariant(value)); }
    void entry(const QString& key, const std::string& text) { put(key, QVariant(qString(text))); }
    void entry(const QString& key, const ZoneName& zone) { put(key, QVariant(zone.name)); }
    // Through Qt D-Bus's own marshalling of a variant, which writes the date with
    // writeDateComponents() in turn.
    void dateEntry(const QString& key, const platform::DateComponents& date, const ZoneName* zone)
    {
        put(key, QVariant::fromValue(BorrowedDateComponentsArgument { &date, zone }));
    }

private:
    void put(const QString& key, const QVariant& value)
    {
        m_argument.beginMapEntry();
        m_argument << key << QDBusVariant(value);
        m_argument.endMapEntry();
    }

    QDBusArgument& m_argument;
};

// Counts what ArgumentWriter would write, by D-Bus's own marshalling rules:
// every value aligned to its size from the start of the message body (itself aligned to 8), an
// array's length not counting the padding that follows its length field. A text counts its bytes
// as they are: the formatters' and ICU's UTF-8, which Qt D-Bus writes back unchanged.
class SizeCounter {
public:
    std::uint64_t listLength() const { return m_listLength; }

    void beginList()
    {
        // The sessions are arrays, aligned to 4: the list's first one follows its length at once.
        arrayLength();
        m_listStart = m_offset;
    }
    void endList() { m_listLength = m_offset - m_listStart; }
    void beginDictionary()
    {
        arrayLength();
        align(8);
    }
    void endDictionary() { }

    void entry(const QString& key, int) { put(key, 'i', 4); }
    void entry(const QString& key, double) { put(key, 'd', 8); }
    void entry(const QString& key, const std::string& text)
    {
        beginEntry(key, "s");
        string(text.size());
    }
    void entry(const QString& key, const ZoneName& zone)
    {
        beginEntry(key, "s");
        string(zone.utf8Length);
    }
    void dateEntry(const QString& key, const platform::DateComponents& date, const ZoneName* zone)
    {
        beginEntry(key, "a{sv}");
        writeDateComponents(*this, date, zone);
    }

private:
    void align(std::uint64_t boundary) { m_offset = (m_offset + boundary - 1) / boundary * boundary; }
    void arrayLength()
    {
        align(4);
        m_offset += 4;
    }
    void string(std::size_t utf8Length)
    {
        align(4);
        m_offset += 4 + utf8Length + 1;
    }
    // A dictionary entry (aligned to 8): its key, then the variant's signature (not aligned).
    void beginEntry(const QString& key, std::string_view signature)
    {
        align(8);
        // The keys are ASCII.
        string(static_cast<std::size_t>(key.size()));
        m_offset += 1 + signature.size() + 1;
    }
    void put(const QString& key, char type, std::uint64_t size)
    {
        beginEntry(key, std::string_view(&type, 1));
        align(size);
        m_offset += size;
    }

    // From the start of the body, which holds the response code before the list.
    std::uint64_t m_offset = 4;
    std::uint64_t m_listStart = 0;
    std::uint64_t m_listLength = 0;
};

QDBusArgument& operator<<(QDBusArgument& argument, const DateComponentsArgument& date)
{
    ArgumentWriter writer(argument);
    writeDateComponents(writer, date.components, nullptr);
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const BorrowedDateComponentsArgument& date)
{
    // Qt D-Bus learns the signature by marshalling a default value, which borrows nothing.
    ArgumentWriter writer(argument);
    writeDateComponents(
        writer, date.components ? *date.components : platform::DateComponents(), date.timeZone);
    return argument;
}

template <class Date> const QDBusArgument& operator>>(const QDBusArgument& argument, Date& date)
{
    date = {};
    QVariantMap ignored;
    argument >> ignored;
    return argument;
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

std::uint64_t SessionListArgument::marshalledLength() const
{
    SizeCounter counter;
    writeSessions(counter, *this);
    return counter.listLength();
}

QDBusArgument& operator<<(QDBusArgument& argument, const SessionListArgument& list)
{
    ArgumentWriter writer(argument);
    writeSessions(writer, list);
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
