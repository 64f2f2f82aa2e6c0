#include "platform/ShortcutsFolder.h"

#include "platform/DetachedProcess.h"
#include "platform/Logger.h"

#include <QByteArray>
#include <QCoro/QCoroProcess>
#include <QProcess>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr const char* logCategory = "Shortcuts";
// Larger scripts are not read to count their lines; they still run.
constexpr std::uintmax_t maximumCountedSize = 1024 * 1024;

bool isHidden(const fs::path& path)
{
    const auto name = path.filename().string();
    return !name.empty() && name.front() == '.';
}

bool isExecutableFile(const fs::directory_entry& item)
{
    std::error_code error;
    if (!item.is_regular_file(error)) {
        return false;
    }
    return ::access(item.path().c_str(), X_OK) == 0;
}

std::size_t countActions(const fs::path& path)
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error || size > maximumCountedSize) {
        return 0;
    }
    std::ifstream stream(path, std::ios::binary);
    std::string contents((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (contents.find('\0') != std::string::npos) {
        return 0;
    }
    std::size_t count = 0;
    std::size_t start = 0;
    while (start <= contents.size()) {
        auto end = contents.find('\n', start);
        if (end == std::string::npos) {
            end = contents.size();
        }
        const auto line = std::string_view(contents).substr(start, end - start);
        const auto first = line.find_first_not_of(" \t\r");
        if (first != std::string_view::npos && line[first] != '#') {
            ++count;
        }
        start = end + 1;
    }
    return count;
}

std::vector<std::string> splitLines(const QByteArray& output)
{
    std::vector<std::string> lines;
    std::string text = output.toStdString();
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

} // namespace

ShortcutsFolder::ShortcutsFolder(fs::path root)
    : m_root(std::move(root))
{
}

fs::path ShortcutsFolder::standardLocation()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    fs::path base;
    if (dataHome != nullptr && *dataHome != '\0' && fs::path(dataHome).is_absolute()) {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home != nullptr ? home : "") / ".local" / "share";
    }
    return base / "kiruvo" / "shortcuts";
}

ShortcutsFolder ShortcutsFolder::standard()
{
    return ShortcutsFolder(standardLocation());
}

bool ShortcutsFolder::exists() const
{
    std::error_code error;
    return fs::is_directory(m_root, error);
}

bool ShortcutsFolder::isReadable() const
{
    return exists() && ::access(m_root.c_str(), R_OK | X_OK) == 0;
}

Uuid ShortcutsFolder::identifier(std::string_view relativePath)
{
    return Uuid::nameBased(Uuid::urlNamespace(), relativePath);
}

std::vector<ShortcutsFolder::Entry> ShortcutsFolder::entries() const
{
    std::vector<Entry> result;
    if (!isReadable()) {
        return result;
    }
    std::error_code error;
    fs::recursive_directory_iterator it(m_root, fs::directory_options::skip_permission_denied, error);
    if (error) {
        log(LogLevel::Warning, logCategory, "Cannot list " + m_root.string() + ": " + error.message());
        return result;
    }
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error) {
            log(LogLevel::Warning, logCategory,
                "Cannot list part of " + m_root.string() + ": " + error.message());
            break;
        }
        const auto& item = *it;
        if (isHidden(item.path())) {
            std::error_code dirError;
            if (item.is_directory(dirError)) {
                it.disable_recursion_pending();
            }
            continue;
        }
        if (!isExecutableFile(item)) {
            continue;
        }
        const auto relative = item.path().lexically_relative(m_root);
        Entry entry;
        entry.relativePath = relative.generic_string();
        entry.name = relative.stem().string();
        if (relative.has_parent_path()) {
            entry.folderRelativePath = relative.parent_path().generic_string();
            entry.folderName = relative.parent_path().filename().string();
        }
        entry.actionCount = countActions(item.path());
        result.push_back(std::move(entry));
    }
    std::sort(result.begin(), result.end(),
        [](const Entry& a, const Entry& b) { return a.relativePath < b.relativePath; });
    return result;
}

std::optional<ShortcutsFolder::Entry> ShortcutsFolder::entry(const Uuid& wanted) const
{
    for (auto& entry : entries()) {
        if (identifier(entry.relativePath) == wanted) {
            return std::move(entry);
        }
    }
    return std::nullopt;
}

std::optional<fs::path> ShortcutsFolder::resolved(std::string_view relativePath) const
{
    const fs::path relative = fs::path(relativePath).lexically_normal();
    if (relative.empty() || relative.is_absolute()) {
        return std::nullopt;
    }
    for (const auto& part : relative) {
        if (part == "..") {
            return std::nullopt;
        }
    }
    return m_root / relative;
}

QCoro::Task<ShortcutsFolder::RunResult> ShortcutsFolder::run(
    std::string relativePath, std::optional<std::string> input) const
{
    RunResult result;
    const auto path = resolved(relativePath);
    if (!path) {
        result.failure = "\"" + relativePath + "\" is not inside the shortcuts folder";
        co_return result;
    }
    auto process = std::make_unique<QProcess>();
    process->setProgram(QString::fromStdString(path->string()));
    process->setWorkingDirectory(QString::fromStdString(path->parent_path().string()));
    if (!co_await qCoro(*process).start(QIODevice::ReadWrite)) {
        result.failure = "Could not start " + relativePath + ": " + process->errorString().toStdString();
        co_return result;
    }
    if (input) {
        process->write(input->data(), static_cast<qint64>(input->size()));
    }
    process->closeWriteChannel();
    // A script may run as long as it likes: the caller waits without blocking anything.
    co_await qCoro(*process).waitForFinished(-1);
    if (process->state() != QProcess::NotRunning) {
        // Only reached when the wait itself gave up; do not leave the script behind unattended.
        process->kill();
        co_await qCoro(*process).waitForFinished(std::chrono::milliseconds(2000));
    }
    result.outputLines = splitLines(process->readAllStandardOutput());
    const auto errorOutput = process->readAllStandardError();
    if (!errorOutput.isEmpty()) {
        log(LogLevel::Debug, logCategory, relativePath + " wrote: " + errorOutput.toStdString());
    }
    if (process->exitStatus() != QProcess::NormalExit) {
        result.failure = relativePath + " ended abnormally";
    } else if (process->exitCode() != 0) {
        result.failure = relativePath + " exited with status " + std::to_string(process->exitCode());
    } else {
        result.succeeded = true;
    }
    co_return result;
}

bool ShortcutsFolder::open(std::string_view relativePath) const
{
    const auto path = resolved(relativePath);
    if (!path) {
        return false;
    }
    return DetachedProcess::start("xdg-open", { path->string() });
}

std::string ShortcutsFolder::templateText()
{
    return "#!/bin/sh\n"
           "# Kiruvo runs this script at every break reminder you chose it for.\n"
           "# Whatever it is given arrives on standard input; each line it prints is one result.\n"
           "\n"
           "echo \"Time for a break\"\n";
}

std::optional<std::string> ShortcutsFolder::createTemplate(std::string_view baseName) const
{
    std::error_code error;
    fs::create_directories(m_root, error);
    if (error) {
        log(LogLevel::Warning, logCategory, "Cannot create " + m_root.string() + ": " + error.message());
        return std::nullopt;
    }
    std::string base(baseName);
    std::replace(base.begin(), base.end(), '/', '-');
    if (base.empty() || base.front() == '.') {
        base.insert(0, "Shortcut");
    }
    for (int number = 1; number < 1000; ++number) {
        const std::string fileName = number == 1 ? base + ".sh" : base + " " + std::to_string(number) + ".sh";
        const auto path = m_root / fileName;
        // O_EXCL semantics: never overwrite a script the user already has.
        std::FILE* file = std::fopen(path.c_str(), "wx");
        if (file == nullptr) {
            if (errno == EEXIST) {
                continue;
            }
            log(LogLevel::Warning, logCategory, "Cannot write " + path.string());
            return std::nullopt;
        }
        const auto text = templateText();
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        const bool closed = std::fclose(file) == 0;
        fs::permissions(path,
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read
                | fs::perms::others_exec,
            error);
        if (!written || !closed || error) {
            log(LogLevel::Warning, logCategory, "Cannot write " + path.string());
            return std::nullopt;
        }
        return fileName;
    }
    return std::nullopt;
}

} // namespace platform
