#include "kit/interface/WorkspaceUtilities.h"

#include "kit/foundation/AppErrorBuilder.h"
#include "platform/DetachedProcess.h"
#include "platform/RegularFile.h"
#include "platform/linux/DesktopEntry.h"

#include <QFile>

#include <QStandardPaths>

namespace zk {

NotificationToken::NotificationToken(QMetaObject::Connection connection)
    : m_connection(std::move(connection))
{
}

NotificationToken::~NotificationToken()
{
    QObject::disconnect(m_connection);
}

ListenerHolder::ListenerHolder(QObject* sender)
    : m_sender(sender)
{
}

ListenerHolder::~ListenerHolder()
{
    if (!m_sender) {
        return;
    }
    for (const auto& listener : m_listeners) {
        QObject::disconnect(listener);
    }
}

void ListenerHolder::add(QMetaObject::Connection connection)
{
    m_listeners.push_back(std::move(connection));
}

namespace {

// Larger than any real desktop entry.
constexpr std::size_t largestDesktopEntry = 1 << 20;

[[noreturn]] void throwCannotOpen(const std::string& desktopId, const std::string& reason)
{
    AppErrorParts parts;
    parts.description = "Could not open the app with bundle identifier “" + desktopId + "”.";
    parts.recoverySuggestion = reason;
    throw makeAppError(std::move(parts));
}

// The program and arguments of the entry's Exec line, with the field codes for files, URLs,
// the icon, the name and the entry's own path left out ("%%" is a percent sign), and the
// configuration's arguments after them.
std::optional<QStringList> commandOf(const platform::xdg::DesktopEntry& entry, const QStringList& extra)
{
    const auto exec = entry.value(QStringLiteral("Exec"));
    if (!exec) {
        return std::nullopt;
    }
    const auto arguments = platform::xdg::DesktopEntry::execArguments(*exec);
    if (!arguments) {
        return std::nullopt;
    }
    QStringList command;
    for (const QString& argument : *arguments) {
        if (argument.size() == 2 && argument[0] == QLatin1Char('%') && argument[1] != QLatin1Char('%')) {
            continue;
        }
        command.append(QString(argument).replace(QStringLiteral("%%"), QStringLiteral("%")));
    }
    if (command.isEmpty() || command.first().isEmpty()) {
        return std::nullopt;
    }
    return command + extra;
}

} // namespace

QCoro::Task<RunningApplication> openAppWithBundleIdentifier(
    const std::string& desktopId, OpenConfiguration configuration)
{
    const QString path = QStandardPaths::locate(
        QStandardPaths::ApplicationsLocation, QString::fromStdString(desktopId) + QStringLiteral(".desktop"));
    if (path.isEmpty()) {
        throw makeAppError("Could not locate app with bundle identifier “" + desktopId + "”.");
    }
    const auto read = platform::RegularFile::read(QFile::encodeName(path).toStdString(), largestDesktopEntry);
    if (!read.contents) {
        throwCannotOpen(desktopId, read.problem);
    }
    const auto entry = platform::xdg::DesktopEntry::parse(QString::fromStdString(*read.contents));
    const auto command = entry ? commandOf(*entry, configuration.arguments) : std::nullopt;
    if (!command) {
        throwCannotOpen(desktopId, "Its desktop entry " + path.toStdString() + " names no program to start.");
    }
    // Answers once the program has been started, or with the system's reason why it could not be.
    QString error;
    const auto processIdentifier = platform::DetachedProcess::launch(
        command->first(), command->mid(1), entry->value(QStringLiteral("Path")).value_or(QString()), &error);
    if (!processIdentifier) {
        throwCannotOpen(desktopId, error.toStdString());
    }
    co_return RunningApplication { desktopId, *processIdentifier };
}

} // namespace zk
