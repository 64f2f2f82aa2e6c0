// The scripting interface on D-Bus over any calls a script could send: the six methods with any
// numbers, with arguments of any types or none, other members and interfaces. The real handlers
// answer from a real session engine (time, idle time and the store are fakes). Every call is
// answered by the object; a call with the declared arguments answers its declared signature with a
// code the handlers send; the enabled state changes exactly as the operation and state ask, and a
// call that is refused changes nothing.
#include "FuzzDBus.h"

#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "app/intents/IntentHandlerLookup.h"
#include "app/intents/IntentsDBusAdaptor.h"
#include "app/intents/SessionControllerEngine.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeIdleTimeSource.h"
#include "platform/fake/FakeSystemEvents.h"
#include "platform/store/UserDefaults.h"
#include "platform/time/Locale.h"
#include "platform/time/TimeZone.h"

#include <QDBusArgument>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

const QString intentsInterface = QString::fromLatin1(kiruvo::IntentsDBusAdaptor::interfaceName);
const QString intentsPath = QString::fromLatin1(kiruvo::IntentsDBusAdaptor::objectPath);

// The world outside the engine, set up once for the process.
struct World {
    World()
    {
        fuzz::Folder::path();
        platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier("Europe/Oslo"));
        platform::Locale::setCurrentForTesting(platform::Locale("en_US"));
        kiruvo::Keys::registerAll();
        fuzz::require(
            kiruvo::registerIntentsObject(fuzz::DBusPeer::shared().server()), "the interface is exported");
        kiruvo::IntentsDBusAdaptor::setHandlerLookup(&kiruvo::handlerForIntent);
    }
    platform::fake::ScopedFakeClock clock { platform::Date(737000000.0), 50000 };
    platform::fake::ScopedFakeIdleTimeSource idle;
    platform::fake::FakeSystemEvents events;
};

// What a call with the declared arguments answers: the reply's signature after the code.
const QStringList methods { QStringLiteral("GetEnabledState"), QStringLiteral("SetEnabledState"),
    QStringLiteral("GetCurrentSession"), QStringLiteral("NewSession"), QStringLiteral("GetSessions"),
    QStringLiteral("GetTotalDurationToday"), QStringLiteral("OpenMenu"), QStringLiteral("Introspect") };
const QStringList replySignatures { QStringLiteral("ib"), QStringLiteral("i"), QStringLiteral("ia{sv}"),
    QStringLiteral("i"), QStringLiteral("iaa{sv}"), QStringLiteral("id") };
const QStringList interfaces { intentsInterface, QString(),
    QStringLiteral("com.zelvantorium.Kiruvo.Application"),
    QStringLiteral("org.freedesktop.DBus.Introspectable") };

int code(const QDBusMessage& reply)
{
    return reply.arguments().isEmpty() ? -1 : reply.arguments().front().toInt();
}

// The state of the engine that a refused call must leave as it was.
struct Seen {
    bool enabled = false;
    std::optional<kiruvo::CurrentSession> running;
    std::size_t stored = 0;

    static Seen of(const kiruvo::SessionController& engine)
    {
        return { engine.isEnabled(), engine.currentSession(), engine.allSessions().size() };
    }
    bool operator==(const Seen&) const = default;
};

void checkDeclaredCall(const QString& method, const QVariantList& arguments, const QDBusMessage& reply,
    const Seen& before, const kiruvo::SessionController& engine)
{
    const int index = static_cast<int>(methods.indexOf(method));
    fuzz::require(
        reply.type() == QDBusMessage::ReplyMessage, "a call with the declared arguments is answered");
    fuzz::require(reply.signature() == replySignatures.at(index), "the answer has the declared signature");
    const Seen after = Seen::of(engine);
    if (method == QLatin1String("SetEnabledState")) {
        const int operation = arguments.at(0).toInt();
        const int state = arguments.at(1).toInt();
        const bool sets = operation == 1 && (state == 1 || state == 2);
        const bool toggles = operation == 2 && state >= 0 && state <= 2;
        if (sets) {
            fuzz::require(
                code(reply) == 4 && after.enabled == (state == 1), "set puts the state asked in force");
        } else if (toggles) {
            fuzz::require(code(reply) == 4 && after.enabled == !before.enabled, "toggle inverts the state");
        } else {
            fuzz::require(code(reply) == 0 && after == before,
                "an unknown request answers unspecified and changes nothing");
        }
        fuzz::require(
            after.enabled == after.running.has_value(), "a session runs exactly while tracking is on");
        return;
    }
    fuzz::require(code(reply) == 4, "the handlers answer success");
    if (method == QLatin1String("GetEnabledState")) {
        fuzz::require(
            reply.arguments().at(1).toBool() == before.enabled, "the enabled state is told as it is");
        fuzz::require(after == before, "asking changes nothing");
    } else if (method == QLatin1String("GetCurrentSession")) {
        const auto session = qdbus_cast<QVariantMap>(reply.arguments().at(1));
        fuzz::require(
            session.isEmpty() == !before.running.has_value(), "the running session is told when one runs");
        fuzz::require(after == before, "asking changes nothing");
    } else if (method == QLatin1String("GetSessions")) {
        const auto sessions = qdbus_cast<QList<QVariantMap>>(reply.arguments().at(1));
        fuzz::require(
            static_cast<std::size_t>(sessions.size()) == before.stored, "every stored session is told");
        fuzz::require(after == before, "asking changes nothing");
    } else if (method == QLatin1String("GetTotalDurationToday")) {
        const double total = reply.arguments().at(1).toDouble();
        fuzz::require(
            std::isfinite(total) && total >= 0 && total == std::round(total), "a total is whole seconds");
        fuzz::require(after == before, "asking changes nothing");
    } else if (method == QLatin1String("NewSession")) {
        fuzz::require(after.enabled && after.running && after.running->duration().seconds == 0,
            "a new session runs from now");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_intents_dbus";
    static char* argv[] = { name, nullptr };
    static QCoreApplication* application = [] {
        // Never the user's own store, whoever runs the fuzzer.
        ::setenv("KIRUVO_DEFAULTS_PATH", ":memory:", 0);
        return new QCoreApplication(argc, argv);
    }();
    static World* world = new World();
    static_cast<void>(application);

    // Each input starts from an empty store and a new engine.
    platform::UserDefaults::standard()->removeAll();
    auto engine = std::make_unique<kiruvo::SessionController>();
    kiruvo::SessionControllerEngine scripting(*engine);
    kiruvo::SessionEngine::setSharedForTesting(&scripting);
    engine->setEnabled(true);

    fuzz::Bytes bytes(data, size);
    for (int call = 0; call < 8 && !bytes.atEnd(); ++call) {
        // Time passes between calls, so that sessions end long enough to be stored.
        world->clock.clock.advance(static_cast<double>(bytes.byte()) * 10);
        const QString method = bytes.member(methods);
        const std::uint8_t shape = bytes.byte();
        const QString interface = shape < 192 ? intentsInterface : interfaces.at(shape % interfaces.size());
        QVariantList arguments;
        const bool declared = interface == intentsInterface && methods.indexOf(method) >= 0
            && methods.indexOf(method) < replySignatures.size() && (shape & 0x30) != 0x30;
        if (declared && method == QLatin1String("SetEnabledState")) {
            arguments = { bytes.integer(), bytes.integer() };
        } else if (!declared) {
            for (int count = bytes.byte() % 4; count > 0; --count) {
                arguments.append(bytes.anyValue());
            }
        }
        const Seen before = Seen::of(*engine);
        const QDBusMessage reply = fuzz::DBusPeer::shared().call(
            fuzz::DBusPeer::methodCall(intentsPath, interface, method, arguments));
        if (declared) {
            checkDeclaredCall(method, arguments, reply, before, *engine);
        } else if (reply.type() == QDBusMessage::ErrorMessage) {
            fuzz::require(Seen::of(*engine) == before, "a refused call changes nothing");
        }
    }

    kiruvo::SessionEngine::setSharedForTesting(nullptr);
    engine.reset();
    return 0;
}
