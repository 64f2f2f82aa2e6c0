#include "app/engine/SessionController.h"
#include "app/intents/IntentHandlers.h"
#include "app/intents/SessionControllerEngine.h"
#include "app/intents/SessionListArgument.h"

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusServer>

#include <benchmark/benchmark.h>

#include <dbus/dbus.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace kiruvo;

namespace {

SessionController& engine(int storedSessionCount)
{
    static SessionController* instance = [] {
        auto* controller = new SessionController();
        static SessionControllerEngine adapter(*controller);
        SessionEngine::setSharedForTesting(&adapter);
        registerSessionListArgument();
        // The running application holds its bus connection for its life, and with it libdbus's
        // pool of list nodes; with no connection, libdbus would free and make that pool again at
        // every variant of the reply, a cost the application never pays. A listening server keeps
        // the pool alive just the same without needing a bus.
        static QDBusServer server;
        return controller;
    }();
    bench::useHistory(*instance, storedSessionCount);
    return *instance;
}

std::shared_ptr<const GetSessionsIntentResponse> response()
{
    std::shared_ptr<const GetSessionsIntentResponse> answer;
    GetSessionsIntentHandler::handleAsync(GetSessionsIntent(), [&answer](GetSessionsIntentResponse built) {
        answer = std::make_shared<const GetSessionsIntentResponse>(std::move(built));
    });
    while (!answer) {
        QCoreApplication::processEvents();
    }
    return answer;
}

// A session's values as they go on the wire, worked out beforehand.
struct WireDate {
    int day, hour, minute, month, nanosecond, second, weekday, year;
    std::string timeZone;
};
struct WireSession {
    std::string displayString;
    double duration;
    WireDate endDate;
    std::string identifier;
    WireDate startDate;
    std::string subtitleString;
};

WireDate wireDate(const platform::DateComponents& date)
{
    return { *date.day, *date.hour, *date.minute, *date.month, *date.nanosecond, *date.second, *date.weekday,
        *date.year, date.timeZone->identifier() };
}

std::vector<WireSession> wireSessions(const GetSessionsIntentResponse& answer)
{
    std::vector<WireSession> sessions;
    for (const Session_& session : *answer.sessions) {
        sessions.push_back({ session.displayString(), *session.duration, wireDate(*session.endDate),
            *session.identifier(), wireDate(*session.startDate), *session.subtitleString() });
    }
    return sessions;
}

// The keys of a date and of a session in the order they go on the wire, for each writer below (each
// has intEntry, doubleEntry, stringEntry and dateEntry).
template <class Dictionary> void writeDateFields(Dictionary& fields, const WireDate& date)
{
    fields.intEntry("day", date.day);
    fields.intEntry("hour", date.hour);
    fields.intEntry("minute", date.minute);
    fields.intEntry("month", date.month);
    fields.intEntry("nanosecond", date.nanosecond);
    fields.intEntry("second", date.second);
    fields.stringEntry("timeZone", date.timeZone);
    fields.intEntry("weekday", date.weekday);
    fields.intEntry("year", date.year);
}

template <class Dictionary> void writeSessionEntries(Dictionary& dictionary, const WireSession& session)
{
    dictionary.stringEntry("displayString", session.displayString);
    dictionary.doubleEntry("duration", session.duration);
    dictionary.dateEntry("endDate", session.endDate);
    dictionary.stringEntry("identifier", session.identifier);
    dictionary.dateEntry("startDate", session.startDate);
    dictionary.stringEntry("subtitleString", session.subtitleString);
}

class Writer {
public:
    explicit Writer(DBusMessageIter& parent)
        : m_parent(parent)
    {
    }

    void open(int type, const char* signature)
    {
        dbus_message_iter_open_container(&m_parent, type, signature, &m_iter);
    }
    void close() { dbus_message_iter_close_container(&m_parent, &m_iter); }
    DBusMessageIter& iter() { return m_iter; }

private:
    DBusMessageIter& m_parent;
    DBusMessageIter m_iter;
};

// An a{sv} written through libdbus's iterators.
class IterDictionary {
public:
    explicit IterDictionary(DBusMessageIter& iter)
        : m_iter(iter)
    {
    }

    void intEntry(const char* key, int number)
    {
        const dbus_int32_t value = number;
        appendBasic(key, DBUS_TYPE_INT32, "i", &value);
    }
    void doubleEntry(const char* key, double number) { appendBasic(key, DBUS_TYPE_DOUBLE, "d", &number); }
    void stringEntry(const char* key, const std::string& text)
    {
        const char* value = text.c_str();
        appendBasic(key, DBUS_TYPE_STRING, "s", &value);
    }
    void dateEntry(const char* key, const WireDate& date)
    {
        Writer entry(m_iter);
        entry.open(DBUS_TYPE_DICT_ENTRY, nullptr);
        dbus_message_iter_append_basic(&entry.iter(), DBUS_TYPE_STRING, &key);
        Writer variant(entry.iter());
        variant.open(DBUS_TYPE_VARIANT, "a{sv}");
        Writer fields(variant.iter());
        fields.open(DBUS_TYPE_ARRAY, "{sv}");
        IterDictionary dictionary(fields.iter());
        writeDateFields(dictionary, date);
        fields.close();
        variant.close();
        entry.close();
    }

private:
    void appendBasic(const char* key, int type, const char* signature, const void* value)
    {
        Writer entry(m_iter);
        entry.open(DBUS_TYPE_DICT_ENTRY, nullptr);
        dbus_message_iter_append_basic(&entry.iter(), DBUS_TYPE_STRING, &key);
        Writer variant(entry.iter());
        variant.open(DBUS_TYPE_VARIANT, signature);
        dbus_message_iter_append_basic(&variant.iter(), type, value);
        variant.close();
        entry.close();
    }

    DBusMessageIter& m_iter;
};

} // namespace

// The floor under GetSessions: the same reply body (iaa{sv}, same keys, values and nesting) written
// with libdbus's own iterators from values worked out beforehand, with no Qt in between. What
// BM_GetSessions costs above this is ours and Qt's.
static void BM_GetSessionsLibdbusOnly(benchmark::State& state)
{
    engine(static_cast<int>(state.range(0)));
    const std::vector<WireSession> sessions = wireSessions(*response());
    for (auto _ : state) {
        DBusMessage* message = dbus_message_new(DBUS_MESSAGE_TYPE_METHOD_RETURN);
        DBusMessageIter body;
        dbus_message_iter_init_append(message, &body);
        const dbus_int32_t code = 4;
        dbus_message_iter_append_basic(&body, DBUS_TYPE_INT32, &code);
        Writer list(body);
        list.open(DBUS_TYPE_ARRAY, "a{sv}");
        for (const WireSession& session : sessions) {
            Writer array(list.iter());
            array.open(DBUS_TYPE_ARRAY, "{sv}");
            IterDictionary dictionary(array.iter());
            writeSessionEntries(dictionary, session);
            array.close();
        }
        list.close();
        benchmark::DoNotOptimize(dbus_message_get_signature(message));
        dbus_message_unref(message);
    }
}
BENCHMARK(BM_GetSessionsLibdbusOnly)->Arg(1500)->Arg(6000)->Arg(100000)->Unit(benchmark::kMillisecond);

namespace {

// Writes D-Bus wire format (little-endian) into a byte string: just enough for the reply below.
class WireWriter {
public:
    std::string& bytes() { return m_bytes; }

    void align(std::size_t boundary)
    {
        m_bytes.resize((m_bytes.size() + boundary - 1) / boundary * boundary, '\0');
    }
    void byte(char value) { m_bytes.push_back(value); }
    void uint32(std::uint32_t value)
    {
        align(4);
        m_bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    void float64(double value)
    {
        align(8);
        m_bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    void string(std::string_view text)
    {
        uint32(static_cast<std::uint32_t>(text.size()));
        m_bytes.append(text);
        m_bytes.push_back('\0');
    }
    void signature(std::string_view text)
    {
        m_bytes.push_back(static_cast<char>(text.size()));
        m_bytes.append(text);
        m_bytes.push_back('\0');
    }
    // An array's length counts from its first element, after the padding to the elements' boundary.
    struct Array {
        std::size_t lengthAt;
        std::size_t start;
    };
    Array openArray(std::size_t elementBoundary)
    {
        uint32(0);
        const std::size_t lengthAt = m_bytes.size() - 4;
        align(elementBoundary);
        return { lengthAt, m_bytes.size() };
    }
    void closeArray(Array array)
    {
        const auto length = static_cast<std::uint32_t>(m_bytes.size() - array.start);
        std::memcpy(&m_bytes[array.lengthAt], &length, sizeof length);
    }
    // One {sv} entry: the key, then the variant's signature; the caller writes the value.
    void entry(std::string_view key, std::string_view valueSignature)
    {
        align(8);
        string(key);
        signature(valueSignature);
    }
    void intEntry(std::string_view key, int value)
    {
        entry(key, "i");
        uint32(static_cast<std::uint32_t>(value));
    }
    void doubleEntry(std::string_view key, double value)
    {
        entry(key, "d");
        float64(value);
    }
    void stringEntry(std::string_view key, std::string_view value)
    {
        entry(key, "s");
        string(value);
    }
    void dateEntry(std::string_view key, const WireDate& date)
    {
        entry(key, "a{sv}");
        const Array fields = openArray(8);
        writeDateFields(*this, date);
        closeArray(fields);
    }

private:
    std::string m_bytes;
};

} // namespace

// A lower floor still: the same reply written byte by byte in the wire format with no library at all,
// then handed to libdbus whole (dbus_message_demarshal, the only way libdbus takes a message it did
// not write). libdbus validates every value of it again, and that is most of
// what this costs.
static void BM_GetSessionsHandWrittenDemarshalled(benchmark::State& state)
{
    engine(static_cast<int>(state.range(0)));
    const std::vector<WireSession> sessions = wireSessions(*response());
    for (auto _ : state) {
        WireWriter body;
        body.uint32(4);
        const auto list = body.openArray(4);
        for (const WireSession& session : sessions) {
            const auto dictionary = body.openArray(8);
            writeSessionEntries(body, session);
            body.closeArray(dictionary);
        }
        body.closeArray(list);

        WireWriter message;
        message.byte('l');
        message.byte(DBUS_MESSAGE_TYPE_METHOD_RETURN);
        message.byte(DBUS_HEADER_FLAG_NO_REPLY_EXPECTED);
        message.byte(1);
        message.uint32(static_cast<std::uint32_t>(body.bytes().size()));
        message.uint32(7); // serial
        const auto fields = message.openArray(8);
        message.align(8);
        message.byte(DBUS_HEADER_FIELD_REPLY_SERIAL);
        message.signature("u");
        message.uint32(3);
        message.align(8);
        message.byte(DBUS_HEADER_FIELD_DESTINATION);
        message.signature("s");
        message.string(":1.42");
        message.align(8);
        message.byte(DBUS_HEADER_FIELD_SIGNATURE);
        message.signature("g");
        message.signature("iaa{sv}");
        message.closeArray(fields);
        message.align(8);
        message.bytes() += body.bytes();

        DBusError error;
        dbus_error_init(&error);
        DBusMessage* demarshalled = dbus_message_demarshal(
            message.bytes().data(), static_cast<int>(message.bytes().size()), &error);
        if (!demarshalled) {
            state.SkipWithError(error.message);
            dbus_error_free(&error);
            break;
        }
        benchmark::DoNotOptimize(dbus_message_get_signature(demarshalled));
        dbus_message_unref(demarshalled);
    }
}
BENCHMARK(BM_GetSessionsHandWrittenDemarshalled)
    ->Arg(1500)
    ->Arg(6000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// The two halves of BM_GetSessions: building the answer, and writing a built answer into a message.
static void BM_GetSessionsAnswer(benchmark::State& state)
{
    engine(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(response());
    }
}
BENCHMARK(BM_GetSessionsAnswer)->Arg(1500)->Arg(6000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same answer when the history has changed since the last call: made again from every stored
// session, as after each change (a call whose history did not change reuses the one made).
static void BM_GetSessionsAnswerAfterAChange(benchmark::State& state)
{
    SessionController& controller = engine(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        // Holding no stored session out renews the history's key without writing anything.
        controller.history().holdOut(platform::Uuid::random());
        controller.history().releaseHeldOut();
        state.ResumeTiming();
        benchmark::DoNotOptimize(response());
    }
}
BENCHMARK(BM_GetSessionsAnswerAfterAChange)->Arg(1500)->Arg(6000)->Unit(benchmark::kMillisecond);

static void BM_GetSessionsMarshalling(benchmark::State& state)
{
    engine(static_cast<int>(state.range(0)));
    const auto answer = response();
    for (auto _ : state) {
        QDBusArgument message;
        message << SessionListArgument { answer };
        benchmark::DoNotOptimize(message);
    }
}
BENCHMARK(BM_GetSessionsMarshalling)->Arg(1500)->Arg(6000)->Arg(100000)->Unit(benchmark::kMillisecond);

// What an answer's size costs to reckon before it is sent, beside the marshalling it precedes.
static void BM_GetSessionsSizeCheck(benchmark::State& state)
{
    engine(static_cast<int>(state.range(0)));
    const auto answer = response();
    for (auto _ : state) {
        benchmark::DoNotOptimize(SessionListArgument { answer }.marshalledLength());
    }
}
BENCHMARK(BM_GetSessionsSizeCheck)->Arg(1500)->Arg(100000)->Arg(390000)->Unit(benchmark::kMillisecond);

// What the application does for one GetSessions call: the handler builds the response from the
// engine's history, and the answer is written into a D-Bus message (all but the socket write).
static void BM_GetSessions(benchmark::State& state)
{
    engine(static_cast<int>(state.range(0)));
    std::size_t answered = 0;
    for (auto _ : state) {
        const auto answer = response();
        QDBusArgument message;
        message << SessionListArgument { answer };
        answered = answer->sessions ? answer->sessions->size() : 0;
        benchmark::DoNotOptimize(message);
    }
    if (answered != static_cast<std::size_t>(state.range(0))) {
        state.SkipWithError("the answer does not hold every stored session");
    }
}
BENCHMARK(BM_GetSessions)->Arg(1500)->Arg(6000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return bench::runWithFakePlatform(argc, argv);
}
