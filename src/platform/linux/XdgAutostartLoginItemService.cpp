#include "platform/linux/XdgAutostartLoginItemService.h"

#include "platform/linux/DesktopEntry.h"
#include "platform/store/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace platform::xdg {

namespace {

const QString autostartFolder = QStringLiteral("autostart");
const QString entrySuffix = QStringLiteral(".desktop");
const QString execKey = QStringLiteral("Exec");
const QString hiddenKey = QStringLiteral("Hidden");
const QString gnomeEnabledKey = QStringLiteral("X-GNOME-Autostart-enabled");

QString environmentPath(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    // Relative paths in these variables are invalid and to be ignored.
    return QDir::isAbsolutePath(value) ? value : QString();
}

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

// A program named in an Exec line, as the canonical path of the file it runs; empty when it
// cannot be found.
QString resolvedProgram(const QString& program)
{
    if (program.isEmpty()) {
        return {};
    }
    const QString path = program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
    return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
}

QString programOf(const DesktopEntry& entry)
{
    const std::optional<QString> exec = entry.value(execKey);
    if (!exec) {
        return {};
    }
    const std::optional<QStringList> arguments = DesktopEntry::execArguments(*exec);
    return arguments && !arguments->isEmpty() ? arguments->first() : QString();
}

bool isSwitchedOn(const DesktopEntry& entry)
{
    return entry.boolValue(hiddenKey) != true && entry.boolValue(gnomeEnabledKey) != false;
}

} // namespace

XdgAutostartLoginItemService::XdgAutostartLoginItemService()
    : XdgAutostartLoginItemService(Options {})
{
}

XdgAutostartLoginItemService::XdgAutostartLoginItemService(Options options)
    : m_options(std::move(options))
{
    if (m_options.configHome.isEmpty()) {
        m_options.configHome = environmentPath("XDG_CONFIG_HOME");
    }
    if (m_options.configHome.isEmpty()) {
        m_options.configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    if (!m_options.configDirs) {
        QStringList dirs;
        for (const QString& dir : qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts)) {
            if (QDir::isAbsolutePath(dir)) {
                dirs.append(dir);
            }
        }
        m_options.configDirs = dirs.isEmpty() ? QStringList { QStringLiteral("/etc/xdg") } : dirs;
    }
    if (m_options.identifier.isEmpty()) {
        m_options.identifier = QString::fromLatin1(UserDefaults::standardSuiteName);
    }
    if (m_options.entryTemplate.isEmpty()) {
        const QString installed = QStandardPaths::locate(
            QStandardPaths::ApplicationsLocation, m_options.identifier + entrySuffix);
        m_options.entryTemplate = installed.isEmpty() ? QString() : readText(installed);
        if (!DesktopEntry::parse(m_options.entryTemplate)) {
            m_options.entryTemplate
                = readText(QStringLiteral(":/desktop/") + m_options.identifier + entrySuffix);
        }
    }
    if (m_options.executable.isEmpty()) {
        m_options.executable = QCoreApplication::applicationFilePath();
    }
}

QString XdgAutostartLoginItemService::userEntryPath(const QString& identifier) const
{
    return m_options.configHome + u'/' + autostartFolder + u'/' + identifier + entrySuffix;
}

std::optional<QString> XdgAutostartLoginItemService::systemEntryPath(const QString& identifier) const
{
    for (const QString& dir : *m_options.configDirs) {
        const QString path = dir + u'/' + autostartFolder + u'/' + identifier + entrySuffix;
        if (QFileInfo::exists(path)) {
            return path;
        }
    }
    return std::nullopt;
}

std::optional<XdgAutostartLoginItemService::Found> XdgAutostartLoginItemService::find(
    const QString& identifier) const
{
    Found found;
    const QString userPath = userEntryPath(identifier);
    if (QFileInfo::exists(userPath)) {
        found.path = userPath;
        found.isUsers = true;
    } else if (const std::optional<QString> systemPath = systemEntryPath(identifier)) {
        found.path = *systemPath;
    } else {
        return std::nullopt;
    }
    found.entry = DesktopEntry::parse(readText(found.path));
    return found;
}

bool XdgAutostartLoginItemService::runsThisProgram(const DesktopEntry& entry) const
{
    const QString program = programOf(entry);
    if (program.isEmpty()) {
        return false;
    }
    if (program == m_options.executable) {
        return true;
    }
    const QString resolved = resolvedProgram(program);
    if (resolved.isEmpty()) {
        return false;
    }
    if (resolved == QFileInfo(m_options.executable).canonicalFilePath()) {
        return true;
    }
    // The installed program, as the installed desktop entry names it.
    const std::optional<DesktopEntry> installed = DesktopEntry::parse(m_options.entryTemplate);
    return installed && resolved == resolvedProgram(programOf(*installed));
}

LoginItemService::Status XdgAutostartLoginItemService::status() const
{
    const std::optional<Found> found = find(m_options.identifier);
    if (!found || !found->entry) {
        return Status::notRegistered;
    }
    return isSwitchedOn(*found->entry) && runsThisProgram(*found->entry) ? Status::enabled
                                                                         : Status::notRegistered;
}

QString XdgAutostartLoginItemService::entryText() const
{
    DesktopEntry entry = DesktopEntry::parse(m_options.entryTemplate).value_or(DesktopEntry());
    if (!entry.contains(QStringLiteral("Type"))) {
        entry.setValue(QStringLiteral("Type"), QStringLiteral("Application"));
    }
    if (!entry.contains(QStringLiteral("Name"))) {
        entry.setValue(QStringLiteral("Name"), QCoreApplication::applicationName());
    }
    // The other groups (actions) are not copied, and nothing may stop the entry from starting.
    for (const char* key : { "Actions", "TryExec", "DBusActivatable", "Hidden", "NoDisplay" }) {
        entry.remove(QString::fromLatin1(key));
    }
    entry.setValue(execKey, DesktopEntry::execArgument(m_options.executable));
    entry.setValue(gnomeEnabledKey, QStringLiteral("true"));
    return entry.toText();
}

LoginItemService::Failure XdgAutostartLoginItemService::write(const QString& path, const QString& text) const
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return "Could not create the folder " + folder.toStdString();
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return "Could not write " + path.toStdString() + ": " + file.errorString().toStdString();
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const std::string reason = file.errorString().toStdString();
        file.cancelWriting();
        return "Could not write " + path.toStdString() + ": " + reason;
    }
    return std::nullopt;
}

void XdgAutostartLoginItemService::registerApp(Completion completion)
{
    Failure failure;
    if (status() != Status::enabled) {
        failure = write(userEntryPath(m_options.identifier), entryText());
    }
    completion(failure);
}

void XdgAutostartLoginItemService::unregisterApp(Completion completion)
{
    const std::optional<Found> found = find(m_options.identifier);
    if (!found || status() != Status::enabled) {
        // Off already: an entry the user switched off or pointed elsewhere stays as it is.
        completion(std::nullopt);
        return;
    }
    const QString userPath = userEntryPath(m_options.identifier);
    if (systemEntryPath(m_options.identifier)) {
        // Removing ours would let the system-wide entry start the application.
        DesktopEntry hidden = found->entry.value_or(DesktopEntry());
        hidden.setValue(hiddenKey, QStringLiteral("true"));
        completion(write(userPath, hidden.toText()));
        return;
    }
    QFile file(userPath);
    if (!file.remove()) {
        completion("Could not remove " + userPath.toStdString() + ": " + file.errorString().toStdString());
        return;
    }
    completion(std::nullopt);
}

bool XdgAutostartLoginItemService::isLoginItemEnabled(const std::string& identifier) const
{
    const std::optional<Found> found = find(QString::fromStdString(identifier));
    return found && found->entry && isSwitchedOn(*found->entry);
}

bool XdgAutostartLoginItemService::removeLoginItem(const std::string& identifier)
{
    const QString path = userEntryPath(QString::fromStdString(identifier));
    return !QFileInfo::exists(path) || QFile::remove(path);
}

} // namespace platform::xdg
