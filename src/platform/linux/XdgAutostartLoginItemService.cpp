#include "platform/linux/XdgAutostartLoginItemService.h"

#include "platform/Logger.h"
#include "platform/RegularFile.h"
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

// Far more than any desktop entry holds, translations included.
constexpr std::size_t maximumEntrySize = 1024 * 1024;

// The text of an entry that anyone may have replaced: a FIFO, a device or a huge file is not read
// (and said so in the log); a missing file is simply empty.
std::optional<QString> readEntry(const QString& path)
{
    if (path.startsWith(u':')) {
        QFile resource(path);
        return resource.open(QIODevice::ReadOnly) ? std::optional(QString::fromUtf8(resource.readAll()))
                                                  : std::nullopt;
    }
    RegularFile::Read read = RegularFile::read(QFile::encodeName(path).toStdString(), maximumEntrySize);
    if (!read.contents) {
        if (!read.missing) {
            log(LogLevel::Warning, lcStartup(), "Not reading " + read.problem);
        }
        return std::nullopt;
    }
    return QString::fromUtf8(read.contents->data(), static_cast<qsizetype>(read.contents->size()));
}

QString readText(const QString& path)
{
    return readEntry(path).value_or(QString());
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

// The program an Exec line starts: its first word, or, when that is env, the first word after
// env's options and the variables it sets ("env QT_SCALE_FACTOR=2 kiruvo"). Empty when it cannot
// be told (an option of env that takes words of its own in ways not followed here).
QString programOf(const DesktopEntry& entry)
{
    const std::optional<QString> exec = entry.value(execKey);
    if (!exec) {
        return {};
    }
    const std::optional<QStringList> arguments = DesktopEntry::execArguments(*exec);
    if (!arguments || arguments->isEmpty()) {
        return {};
    }
    const QString& first = arguments->first();
    if (QFileInfo(first).fileName() != QLatin1String("env")
        || QFileInfo(resolvedProgram(first)).fileName() != QLatin1String("env")) {
        return first;
    }
    for (qsizetype index = 1; index < arguments->size(); ++index) {
        const QString& word = arguments->at(index);
        if (word == QLatin1String("--")) {
            return arguments->value(index + 1);
        }
        if (word == QLatin1String("-u") || word == QLatin1String("--unset") || word == QLatin1String("-C")
            || word == QLatin1String("--chdir")) {
            ++index;
            continue;
        }
        if (word == QLatin1String("-S") || word.startsWith(QLatin1String("--split-string"))
            || (word.startsWith(u'-') && word.contains(u'S') && !word.startsWith(QLatin1String("--")))) {
            return {};
        }
        if (word.startsWith(u'-') || word.contains(u'=')) {
            continue;
        }
        return word;
    }
    return {};
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
    found.text = readEntry(found.path);
    if (found.text) {
        found.entry = DesktopEntry::parse(*found.text);
    }
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
    const QFileInfo existing(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return "Could not write " + path.toStdString() + ": " + file.errorString().toStdString();
    }
    const QByteArray bytes = text.toUtf8();
    if (existing.exists()) {
        // The user's file keeps who may read it.
        file.setPermissions(existing.permissions());
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const std::string reason = file.errorString().toStdString();
        file.cancelWriting();
        return "Could not write " + path.toStdString() + ": " + reason;
    }
    return std::nullopt;
}

QString XdgAutostartLoginItemService::switchedOffEntryText(const QString& text)
{
    return DesktopEntry::withKeysSet(
        text, { { hiddenKey, QStringLiteral("true") }, { gnomeEnabledKey, QStringLiteral("false") } })
        .value_or(text);
}

bool XdgAutostartLoginItemService::isOwnEntry(const QString& text) const
{
    const QString own = entryText();
    return text == own || text == switchedOffEntryText(own);
}

void XdgAutostartLoginItemService::registerApp(Completion completion)
{
    if (status() == Status::enabled) {
        completion(std::nullopt);
        return;
    }
    const QString userPath = userEntryPath(m_options.identifier);
    if (!QFileInfo::exists(userPath) && !QFileInfo(userPath).isSymLink()) {
        completion(write(userPath, entryText()));
        return;
    }
    const std::optional<QString> text = readEntry(userPath);
    if (!text) {
        completion("Not changing " + userPath.toStdString() + ": it cannot be read as an autostart entry");
        return;
    }
    if (isOwnEntry(*text)) {
        completion(write(userPath, entryText()));
        return;
    }
    // The user's own entry: only the switches are Kiruvo's to change.
    const std::optional<DesktopEntry> entry = DesktopEntry::parse(*text);
    if (!entry || !runsThisProgram(*entry)) {
        completion(
            "Not changing " + userPath.toStdString() + ": it is the user's own and starts another program");
        return;
    }
    const std::optional<QString> switchedOn = DesktopEntry::withKeysSet(
        *text, { { hiddenKey, std::nullopt }, { gnomeEnabledKey, QStringLiteral("true") } });
    completion(write(userPath, switchedOn.value_or(*text)));
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
    const QString text = found->text.value_or(QString());
    if (found->isUsers && isOwnEntry(text) && !systemEntryPath(m_options.identifier)) {
        QFile file(userPath);
        if (!file.remove()) {
            completion(
                "Could not remove " + userPath.toStdString() + ": " + file.errorString().toStdString());
            return;
        }
        completion(std::nullopt);
        return;
    }
    // The user's own lines stay; a system-wide entry is covered by a switched-off copy, since
    // removing ours would let it start the application.
    completion(write(userPath, switchedOffEntryText(text)));
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
