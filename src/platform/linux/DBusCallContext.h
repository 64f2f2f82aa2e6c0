#pragma once

#include <QDBusContext>
#include <QObject>

namespace platform {

// The object to export an adaptor on when the adaptor's slots must be able to answer with an
// error: QtDBus hands the context of a call to the adaptor's parent, not to the adaptor.
//
// Every call to the object reaches it as an event, handed over from QtDBus's own thread as fast as
// programs send them, the calls QtDBus answers itself (Introspect, the Properties interface) among
// them; a termination signal would wait in the event loop behind all of them. Before each, one
// that came is acted on (SignalPipe::deliverPending).
class DBusCallContext : public QObject, public QDBusContext {
    Q_OBJECT
public:
    using QObject::QObject;

    bool event(QEvent* event) override;

    // The context of the call being delivered to an adaptor of `object`, or nullptr when `object`
    // is no DBusCallContext or no call from D-Bus is being delivered.
    static const QDBusContext* of(const QObject* object)
    {
        const auto* context = qobject_cast<const DBusCallContext*>(object);
        return context && context->calledFromDBus() ? context : nullptr;
    }
};

} // namespace platform
