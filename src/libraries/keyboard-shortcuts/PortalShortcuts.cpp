#include "libraries/keyboard-shortcuts/PortalShortcuts.h"

#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "platform/desktop/GlobalHotKeys.h"
#include "platform/desktop/KeyboardLayout.h"
#include "platform/linux/GlobalShortcutsPortal.h"

#include <QCoreApplication>
#include <QPointer>

#include <limits>
#include <memory>

namespace KeyboardShortcuts::PortalShortcuts {

namespace {

struct State {
    QPointer<platform::GlobalShortcutsPortal> portal;
    std::vector<Description> names;
    QMetaObject::Connection changes;
};

State& state()
{
    static State instance;
    return instance;
}

std::optional<Name> nameWithId(const QString& id)
{
    for (const Description& entry : state().names) {
        if (QString::fromStdString(entry.name.rawValue()) == id) {
            return entry.name;
        }
    }
    return std::nullopt;
}

QList<platform::GlobalShortcutsPortal::Binding> bindings()
{
    QList<platform::GlobalShortcutsPortal::Binding> result;
    for (const Description& entry : state().names) {
        const std::optional<Shortcut> shortcut = getShortcut(entry.name);
        result << platform::GlobalShortcutsPortal::Binding { QString::fromStdString(entry.name.rawValue()),
            entry.description, shortcut ? preferredTrigger(*shortcut) : QString() };
    }
    return result;
}

} // namespace

QString preferredTrigger(const Shortcut& shortcut)
{
    if (shortcut.carbonKeyCode() < 0 || shortcut.carbonKeyCode() > std::numeric_limits<int>::max()) {
        return {};
    }
    const std::optional<std::uint32_t> keyCode = shortcut.key().x11KeyCode();
    const std::optional<std::string> keysym
        = keyCode ? platform::KeyboardLayout::shared().keysymName(*keyCode) : std::nullopt;
    if (!keysym) {
        return {};
    }
    return platform::GlobalShortcutsPortal::trigger(shortcut.modifiers(), QString::fromStdString(*keysym));
}

void bindWhereNeeded(std::vector<Description> names, QDBusConnection connection)
{
    if (platform::GlobalHotKeys::shared().isAvailable()) {
        return;
    }
    bind(std::move(names), std::move(connection));
}

void bind(std::vector<Description> names, QDBusConnection connection)
{
    State& current = state();
    current.names = std::move(names);
    if (!current.portal) {
        current.portal
            = new platform::GlobalShortcutsPortal(std::move(connection), QCoreApplication::instance());
        QObject::connect(current.portal, &platform::GlobalShortcutsPortal::bound, current.portal,
            [](bool) { Q_EMIT ShortcutChangeNotifier::shared().availabilityDidChange(); });
        QObject::connect(current.portal, &platform::GlobalShortcutsPortal::activated, current.portal,
            [](const QString& id) {
                if (const std::optional<Name> name = nameWithId(id)) {
                    dispatchKeyDown(*name);
                }
            });
        QObject::connect(current.portal, &platform::GlobalShortcutsPortal::deactivated, current.portal,
            [](const QString& id) {
                if (const std::optional<Name> name = nameWithId(id)) {
                    dispatchKeyUp(*name);
                }
            });
        // A newly recorded shortcut becomes the preferred trigger offered to the desktop.
        current.changes = QObject::connect(&ShortcutChangeNotifier::shared(),
            &ShortcutChangeNotifier::shortcutByNameDidChange, current.portal, [](const Name& changed) {
                if (nameWithId(QString::fromStdString(changed.rawValue())) && state().portal) {
                    state().portal->bind(bindings());
                }
            });
    }
    current.portal->bind(bindings());
}

bool isBound()
{
    return state().portal && state().portal->isBound();
}

void resetForTesting()
{
    delete state().portal.data();
    state() = State {};
}

} // namespace KeyboardShortcuts::PortalShortcuts
