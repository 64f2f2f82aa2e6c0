#include "platform/linux/MutterIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/linux/BusNameOwner.h"
#include "platform/time/Clock.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace platform {

namespace {

// A busy compositor may take a while; nothing waits for the answer.
constexpr int callTimeoutMs = 5000;

double uptime()
{
    return Clock::shared().systemUptime();
}

QString propertiesInterface()
{
    return QStringLiteral("org.freedesktop.DBus.Properties");
}

const QString& inhibitedActions()
{
    static const QString name = QStringLiteral("InhibitedActions");
    return name;
}

} // namespace

QDBusMessage MutterIdleTimeSource::call(const char* method) const
{
    return QDBusMessage::createMethodCall(m_service, QString::fromLatin1(objectPath),
        QString::fromLatin1(interfaceName), QString::fromLatin1(method));
}

MutterIdleTimeSource::MutterIdleTimeSource(
    QDBusConnection connection, const QString& service, const QString& sessionManager)
    : m_connection(std::move(connection))
    , m_service(service)
    , m_watcher(m_service, m_connection, QDBusServiceWatcher::WatchForOwnerChange)
    , m_sessionManager(sessionManager)
    , m_sessionManagerWatcher(m_sessionManager, m_connection, QDBusServiceWatcher::WatchForOwnerChange)
{
    m_question.setSingleShot(true);
    m_question.setTimerType(Qt::CoarseTimer);
    connect(&m_question, &QTimer::timeout, this, &MutterIdleTimeSource::ask);
    connect(&m_sessionManagerWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString&, const QString&, const QString& newOwner) {
            if (newOwner.isEmpty()) {
                setIdleInhibited(false);
            } else {
                readInhibitedActions();
            }
        });
    m_sessionManagerOwner = new BusNameOwner(m_connection, m_sessionManager, this);
    m_sessionManagerOwner->connectSignal(QString::fromLatin1(sessionManagerPath), propertiesInterface(),
        QStringLiteral("PropertiesChanged"), this,
        SLOT(sessionManagerPropertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString&, const QString& oldOwner, const QString& newOwner) {
            if (newOwner.isEmpty()) {
                serviceVanished();
            } else if (oldOwner.isEmpty()) {
                serviceAppeared();
            } else {
                // Another process took the name: our watches were the old one's.
                serviceVanished();
                serviceAppeared();
            }
        });
    m_mutterOwner = new BusNameOwner(m_connection, m_service, this);
    m_mutterOwner->connectSignal(QString::fromLatin1(objectPath), QString::fromLatin1(interfaceName),
        QStringLiteral("WatchFired"), this, SLOT(watchFired(uint, QDBusMessage)));
}

MutterIdleTimeSource::~MutterIdleTimeSource()
{
    m_connection.disconnect(QString(), QString::fromLatin1(sessionManagerPath), propertiesInterface(),
        QStringLiteral("PropertiesChanged"), this,
        SLOT(sessionManagerPropertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
    m_connection.disconnect(QString(), QString::fromLatin1(objectPath), QString::fromLatin1(interfaceName),
        QStringLiteral("WatchFired"), this, SLOT(watchFired(uint, QDBusMessage)));
    if (m_available) {
        removeWatches();
    }
}

void MutterIdleTimeSource::probe(int timeoutMs)
{
    m_available = false;
    m_firstQuestion.ask(
        m_connection, call("GetIdletime"), timeoutMs,
        [](const QDBusMessage& reply) -> std::optional<std::string> {
            if (reply.arguments().size() != 1) {
                return "the answer is no idle time";
            }
            return std::nullopt;
        },
        [this](bool answers) {
            m_available = answers;
            tell({ IdleEvent::Type::changed, uptime() });
        });
}

double MutterIdleTimeSource::secondsSinceLastEvent(InputEventType)
{
    return secondsSinceLastInput();
}

double MutterIdleTimeSource::secondsSinceLastInput()
{
    return m_idleSince ? std::max(0.0, uptime() - *m_idleSince) : 0.0;
}

void MutterIdleTimeSource::armWatches(double thresholdSeconds, std::optional<double> idleSince)
{
    if (std::isfinite(thresholdSeconds) && thresholdSeconds > 0) {
        m_threshold = thresholdSeconds;
    }
    m_armed = true;
    m_idleSince = idleSince;
    if (idleSince) {
        m_lastInput.reset();
        m_inputSeenAt.reset();
    }
    ++m_generation;
    m_idleTimeQuestions = 0;
    m_idleWatchFiredAt.reset();
    if (!m_available) {
        return;
    }
    removeWatches();
    cancelQuestion();
    // Asked for again before the question, so that its answer is vouched for; a last input kept
    // across an inhibitor's end stays, as nothing can come between the old watch and the new.
    if (m_idleSince || m_idleInhibited || m_lastInput) {
        addUserActiveWatch();
    }
    // The exact figure first: a user away already is told with the moment of the last input
    // before the new idle watch fires at once with no more than the threshold.
    askIdleTime();
    addIdleWatch();
    readInhibitedActions();
}

void MutterIdleTimeSource::disarmWatches()
{
    m_armed = false;
    m_idleSince.reset();
    m_lastInput.reset();
    m_inputSeenAt.reset();
    ++m_generation;
    m_idleTimeQuestions = 0;
    m_idleWatchFiredAt.reset();
    cancelQuestion();
    if (m_available) {
        removeWatches();
    }
}

void MutterIdleTimeSource::removeWatch(uint id)
{
    auto message = call("RemoveWatch");
    message << id;
    m_connection.asyncCall(message, callTimeoutMs);
}

void MutterIdleTimeSource::removeWatches()
{
    for (uint* id : { &m_idleWatch, &m_activeWatch }) {
        if (*id != 0) {
            removeWatch(*id);
            *id = 0;
        }
    }
    m_activeWatchPending = false;
    m_idleWatchPending = false;
    m_earlyFirings.clear();
}

void MutterIdleTimeSource::send(
    const QDBusMessage& message, std::function<void(const QVariant&, bool)> answered)
{
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message, callTimeoutMs), &m_calls);
    const auto generation = m_generation;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, generation, member = message.member(), answered = std::move(answered)](
            QDBusPendingCallWatcher* done) {
            done->deleteLater();
            const QDBusMessage reply = done->reply();
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
                failed(member, reply.errorMessage());
                answered({}, generation == m_generation);
                return;
            }
            answered(reply.arguments().front(), generation == m_generation);
        });
}

void MutterIdleTimeSource::addIdleWatch()
{
    auto message = call("AddIdleWatch");
    message << static_cast<qulonglong>(std::llround(m_threshold * 1000.0));
    m_idleWatchPending = true;
    send(message, [this](const QVariant& id, bool current) {
        if (!current) {
            if (id.isValid()) {
                removeWatch(id.toUInt());
            }
            return;
        }
        m_idleWatchPending = false;
        if (id.isValid()) {
            m_idleWatch = id.toUInt();
            if (const auto early = m_earlyFirings.find(m_idleWatch); early != m_earlyFirings.end()) {
                const double at = early->second.at;
                m_earlyFirings.erase(early);
                idleWatchFired(at);
            }
        }
        claimEarlyFirings();
    });
}

void MutterIdleTimeSource::addUserActiveWatch()
{
    if (m_activeWatch != 0 || m_activeWatchPending) {
        return;
    }
    m_activeWatchPending = true;
    send(call("AddUserActiveWatch"), [this](const QVariant& id, bool current) {
        if (!id.isValid()) {
            m_activeWatchPending = m_activeWatchPending && !current;
            return;
        }
        if (!current) {
            removeWatch(id.toUInt());
            return;
        }
        // Unless it has fired already, before this answer was read.
        if (m_activeWatchPending) {
            m_activeWatchPending = false;
            m_activeWatch = id.toUInt();
            if (const auto early = m_earlyFirings.find(m_activeWatch); early != m_earlyFirings.end()) {
                const double at = early->second.at;
                m_earlyFirings.erase(early);
                activeWatchFired(at);
            }
        }
    });
}

void MutterIdleTimeSource::askIdleTime()
{
    ++m_idleTimeQuestions;
    // Mutter answers in order: a user-active watch asked for before this question fires at any
    // input after its answer.
    const bool watched = m_activeWatch != 0 || m_activeWatchPending;
    const unsigned firings = m_activeFirings;
    send(call("GetIdletime"), [this, watched, firings](const QVariant& milliseconds, bool current) {
        if (!current) {
            return;
        }
        --m_idleTimeQuestions;
        // A plain pair: GCC 12 warns falsely of an optional read here once inlined.
        const bool fired = m_idleTimeQuestions == 0 && m_idleWatchFiredAt.has_value();
        const double firedAt = fired ? *m_idleWatchFiredAt : 0.0;
        if (m_idleTimeQuestions == 0) {
            m_idleWatchFiredAt.reset();
        }
        if (!milliseconds.isValid()) {
            if (fired) {
                becameIdle(firedAt - m_threshold);
            }
            return;
        }
        // Exact when it arrives; a user away for the threshold already is told so now.
        const double now = uptime();
        double seconds = static_cast<double>(milliseconds.toULongLong()) / 1000.0;
        if (watched && firings == m_activeFirings && !m_idleSince) {
            // No input since: a last input kept from before an inhibitor's end is the earlier.
            if (!m_lastInput) {
                m_lastInput = now - seconds;
            }
            seconds = now - *m_lastInput;
        }
        if (seconds >= m_threshold) {
            becameIdle(now - seconds);
        } else if (fired) {
            // Asked just before the threshold was reached: the firing is the later news.
            becameIdle(firedAt - m_threshold);
        } else {
            scheduleQuestion(seconds);
        }
    });
}

void MutterIdleTimeSource::ask()
{
    cancelQuestion();
    if (m_armed && m_available) {
        if (m_idleInhibited && !m_idleSince) {
            addUserActiveWatch();
        }
        askIdleTime();
    }
}

void MutterIdleTimeSource::scheduleQuestion(double seconds)
{
    cancelQuestion();
    if (!(m_idleInhibited || m_lastInput) || !m_armed || !m_available || m_idleSince) {
        return;
    }
    double delay = std::max(0.0, m_threshold - seconds);
    if (m_idleInhibited && !m_lastInput) {
        // Input may have come since the watch fired: looked for again soon, with a new watch.
        delay = std::min(delay, inputCheckInterval);
    }
    m_nextQuestionAt = uptime() + delay;
    m_question.start(
        static_cast<int>(std::min(std::ceil(delay * 1000.0), double(std::numeric_limits<int>::max()))));
}

void MutterIdleTimeSource::cancelQuestion()
{
    m_question.stop();
    m_nextQuestionAt.reset();
}

void MutterIdleTimeSource::readInhibitedActions()
{
    auto message = QDBusMessage::createMethodCall(m_sessionManager, QString::fromLatin1(sessionManagerPath),
        propertiesInterface(), QStringLiteral("Get"));
    message << QString::fromLatin1(sessionManagerName) << inhibitedActions();
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message, callTimeoutMs), &m_calls);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusMessage reply = done->reply();
        // No session manager (not GNOME's, or not yet started) inhibits nothing; its arrival is
        // watched.
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
            setIdleInhibited(false);
            return;
        }
        const QVariant value = qvariant_cast<QDBusVariant>(reply.arguments().front()).variant();
        setIdleInhibited((value.toUInt() & idleInhibitedFlag) != 0);
    });
}

void MutterIdleTimeSource::sessionManagerPropertiesChanged(const QString& interface,
    const QVariantMap& changed, const QStringList& invalidated, const QDBusMessage& message)
{
    if (!m_sessionManagerOwner->sentByOwner(message) || interface != QLatin1String(sessionManagerName)) {
        return;
    }
    if (auto found = changed.find(inhibitedActions()); found != changed.end()) {
        setIdleInhibited((found->toUInt() & idleInhibitedFlag) != 0);
    } else if (invalidated.contains(inhibitedActions())) {
        readInhibitedActions();
    }
}

void MutterIdleTimeSource::setIdleInhibited(bool inhibited)
{
    if (inhibited == m_idleInhibited) {
        return;
    }
    m_idleInhibited = inhibited;
    log(LogLevel::Info, lcIdle(),
        inhibited ? "Another application inhibits idle: GNOME Mutter's idle time is asked for while it does"
                  : "Idle is no longer inhibited: GNOME Mutter's idle watches serve again");
    m_inhibitedDuringPause = m_inhibitedDuringPause || inhibited;
    cancelQuestion();
    if (!m_armed || !m_available || m_idleSince) {
        return;
    }
    if (inhibited) {
        // The first question, with the watch that vouches for its answer.
        addUserActiveWatch();
        askIdleTime();
    } else if (m_lastInput) {
        // Mutter counts afresh from now; the user's last input is still the one the watch vouches
        // for, and the break falls due a threshold after it.
        scheduleQuestion(uptime() - *m_lastInput);
    } else if (m_inputSeenAt) {
        // A watch fired shortly before, and the next was not asked for yet: the input that fired it
        // is the last one known. A new watch vouches for the time from now on.
        m_lastInput = m_inputSeenAt;
        addUserActiveWatch();
        scheduleQuestion(uptime() - *m_lastInput);
    } else {
        // A watch held back may fire late; Mutter's count, from now at the latest, is what is known.
        askIdleTime();
    }
}

void MutterIdleTimeSource::becameIdle(double since)
{
    if (m_idleSince) {
        return;
    }
    m_idleSince = since;
    m_lastInput.reset();
    m_inputSeenAt.reset();
    cancelQuestion();
    m_inhibitedDuringPause = m_idleInhibited;
    addUserActiveWatch();
    tell({ IdleEvent::Type::idle, since });
}

void MutterIdleTimeSource::watchFired(uint id, const QDBusMessage& message)
{
    if (!m_armed || id == 0 || !m_mutterOwner->sentByOwner(message)) {
        return;
    }
    if (id == m_idleWatch) {
        idleWatchFired(uptime());
    } else if (id == m_activeWatch) {
        activeWatchFired(uptime());
    } else if (m_idleWatchPending) {
        // Either watch's, perhaps: an idle watch added while the user is away already fires at
        // once, and is no input.
        m_earlyFirings.emplace(id, EarlyFiring { uptime(), m_activeWatchPending });
    } else if (m_activeWatchPending) {
        // A user-active watch fires once, and may do so before the answer with its id is read.
        activeWatchFired(uptime());
    }
}

void MutterIdleTimeSource::activeWatchFired(double at)
{
    m_activeWatch = 0;
    m_activeWatchPending = false;
    ++m_activeFirings;
    m_lastInput.reset();
    m_inputSeenAt = at;
    if (m_idleSince) {
        m_idleSince.reset();
        m_inhibitedDuringPause = m_idleInhibited;
        // Input just now: under inhibition, asked again (with a new watch) soon.
        scheduleQuestion(0);
        tell({ IdleEvent::Type::active, at });
        return;
    }
    // Input while present: Mutter's watches count from it, unless idle is inhibited.
    scheduleQuestion(0);
}

void MutterIdleTimeSource::claimEarlyFirings()
{
    // Not the idle watch's: a user-active watch's, as a firing while one was awaited always was.
    std::optional<double> input;
    for (const auto& [id, firing] : std::exchange(m_earlyFirings, {})) {
        if (firing.activeAwaited && (!input || firing.at < *input)) {
            input = firing.at;
        }
    }
    if (input) {
        activeWatchFired(*input);
    }
}

void MutterIdleTimeSource::idleWatchFired(double at)
{
    if (m_idleSince) {
        return;
    }
    if (m_inhibitedDuringPause) {
        // Held back by an inhibitor, it may fire late: the idle time tells the last input.
        askIdleTime();
        return;
    }
    if (m_idleTimeQuestions > 0) {
        // The bus may hand over the firing before an answer Mutter gave earlier, one with the
        // moment of the last input in it (a user away already when the watch was added): it is
        // awaited, so that the break never starts later than the last input.
        m_idleWatchFiredAt = at;
        return;
    }
    // Mutter fires it once the user has had no input for the whole interval.
    becameIdle(at - m_threshold);
}

void MutterIdleTimeSource::serviceVanished()
{
    if (!m_available) {
        return;
    }
    m_available = false;
    m_hasLeftBus = true;
    m_lastInput.reset();
    m_inputSeenAt.reset();
    cancelQuestion();
    m_idleWatch = 0;
    m_activeWatch = 0;
    m_activeWatchPending = false;
    m_idleWatchPending = false;
    m_earlyFirings.clear();
    log(LogLevel::Warning, lcIdle(), "GNOME Mutter's IdleMonitor left the session bus");
    tell({ IdleEvent::Type::changed, uptime() });
}

void MutterIdleTimeSource::serviceAppeared()
{
    if (m_available) {
        return;
    }
    // A Mutter that comes while the first question is on its way answers the next.
    m_firstQuestion.stop();
    m_available = true;
    m_reportedFailure = false;
    log(LogLevel::Info, lcIdle(),
        m_hasLeftBus ? "GNOME Mutter's IdleMonitor is on the session bus again"
                     : "GNOME Mutter's IdleMonitor is on the session bus");
    tell({ IdleEvent::Type::changed, uptime() });
}

void MutterIdleTimeSource::failed(const QString& what, const QString& error)
{
    if (m_reportedFailure) {
        return;
    }
    m_reportedFailure = true;
    log(LogLevel::Warning, lcIdle(),
        "GNOME Mutter's IdleMonitor did not answer " + what.toStdString() + ": " + error.toStdString());
}

} // namespace platform
