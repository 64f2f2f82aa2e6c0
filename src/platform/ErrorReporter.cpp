#include "platform/ErrorReporter.h"

#include "platform/AppFolders.h"
#include "platform/Logger.h"
#include "platform/PrivateFiles.h"
#include "platform/store/JsonWriter.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <fmt/format.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<ErrorReporter*> installed { nullptr };

// Error texts come from anywhere (file names, system messages); bytes that are no UTF-8 become
// U+FFFD so that the line is always written.
std::string validUtf8(const std::string& text)
{
    const std::string quoted = JsonValue(text).dump(-1, ' ', false, JsonValue::error_handler_t::replace);
    return JsonValue::parse(quoted).get<std::string>();
}

std::string isoTime(double unixTime)
{
    if (!std::isfinite(unixTime)) {
        unixTime = 0;
    }
    const double whole = std::floor(unixTime);
    const std::time_t seconds = static_cast<std::time_t>(whole);
    const int millis = std::min(999, static_cast<int>((unixTime - whole) * 1000));
    std::tm parts {};
    gmtime_r(&seconds, &parts);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", parts.tm_year + 1900, parts.tm_mon + 1,
        parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, millis);
}

void logFailure(const std::string& what, const std::error_code& error)
{
    log(LogLevel::Warning, lcDiagnostics(), what + ": " + error.message());
}

// Writes all of `text` to a private file, never through a link; false when any of it was not.
bool writePrivately(const std::filesystem::path& path, int flags, const std::string& text)
{
    const int file = PrivateFiles::openForWriting(path, flags);
    if (file < 0) {
        return false;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(file, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        written += static_cast<std::size_t>(count);
    }
    return ::close(file) == 0 && written == text.size();
}

} // namespace

ErrorReporter::ErrorReporter(std::filesystem::path directory)
    : m_directory(std::move(directory))
{
}

std::filesystem::path ErrorReporter::defaultDirectory()
{
    const auto nonEmpty = [](const char* name) -> const char* {
        const char* value = std::getenv(name);
        return value && *value ? value : nullptr;
    };
    if (const char* dir = nonEmpty("KIRUVO_STATE_DIR")) {
        return dir;
    }
    // A relative XDG_STATE_HOME is invalid and ignored, as the base-directory rules say.
    if (const char* state = nonEmpty("XDG_STATE_HOME"); state && state[0] == '/') {
        return std::filesystem::path(state) / "kiruvo";
    }
    // Without $HOME, the account's home from the user database.
    if (const auto home = AppFolders::homeFolder(); home != "/") {
        return home / ".local" / "state" / "kiruvo";
    }
    // No home at all: a folder of this user's own, in the runtime folder or else the shared
    // temporary one; capture() writes there only while it is private.
    if (const char* runtime = nonEmpty("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        return std::filesystem::path(runtime) / "kiruvo";
    }
    std::error_code error;
    std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error) {
        temporary = "/tmp";
    }
    return temporary / ("kiruvo-state-" + std::to_string(::geteuid()));
}

ErrorReporter& ErrorReporter::shared()
{
    if (ErrorReporter* reporter = installed.load()) {
        return *reporter;
    }
    static ErrorReporter standard(defaultDirectory());
    return standard;
}

void ErrorReporter::setShared(ErrorReporter* reporter)
{
    installed.store(reporter);
}

std::string ErrorReporter::lineFor(const ErrorEvent& event, double unixTime)
{
    JsonValue info = JsonValue::object();
    for (const auto& [key, value] : event.userInfo) {
        info[validUtf8(key)] = validUtf8(value);
    }
    JsonValue line = JsonValue::object();
    line["time"] = isoTime(unixTime);
    line["domain"] = validUtf8(event.domain);
    line["code"] = event.code;
    line["message"] = validUtf8(event.message);
    line["file"] = validUtf8(event.file);
    line["line"] = event.line;
    line["userInfo"] = std::move(info);
    // Only texts and integers are in the line, so the writer cannot refuse it.
    return JsonWriter::write(line).value_or("{}");
}

void ErrorReporter::capture(const ErrorEvent& event)
{
    try {
        const std::string line = lineFor(event, Clock::shared().now().unixTime()) + "\n";
        std::lock_guard guard(m_mutex);
        std::string problem;
        if (!PrivateFiles::ensurePrivateFolder(m_directory, problem)) {
            log(LogLevel::Warning, lcDiagnostics(), "Not recording an error: " + problem);
            return;
        }
        std::error_code error;
        const std::filesystem::path path = reportsPath();
        const std::uintmax_t size = std::filesystem::file_size(path, error);
        if (!error && size > 0 && size + line.size() > maxFileSize) {
            std::filesystem::rename(path, rotatedReportsPath(), error);
            if (error) {
                logFailure("Cannot rotate " + path.string(), error);
            }
        }
        if (!writePrivately(path, O_APPEND, line)) {
            logFailure("Cannot append to " + path.string(), std::error_code(errno, std::generic_category()));
        }
    } catch (const std::exception& exception) {
        log(LogLevel::Warning, lcDiagnostics(), std::string("Cannot record an error: ") + exception.what());
    } catch (...) {
        log(LogLevel::Warning, lcDiagnostics(), "Cannot record an error");
    }
}

bool ErrorReporter::lastRunCrashed() const
{
    std::lock_guard guard(m_mutex);
    if (m_lastRunCrashed) {
        return *m_lastRunCrashed;
    }
    std::error_code error;
    return std::filesystem::exists(markerPath(), error);
}

void ErrorReporter::markLaunch()
{
    try {
        std::lock_guard guard(m_mutex);
        std::error_code error;
        m_lastRunCrashed = std::filesystem::exists(markerPath(), error);
        std::string problem;
        if (!PrivateFiles::ensurePrivateFolder(m_directory, problem)) {
            log(LogLevel::Warning, lcDiagnostics(), "Not writing the launch marker: " + problem);
            return;
        }
        const std::string marker
            = fmt::format("pid {} started {}\n", ::getpid(), isoTime(Clock::shared().now().unixTime()));
        if (!writePrivately(markerPath(), O_TRUNC, marker)) {
            logFailure(
                "Cannot write " + markerPath().string(), std::error_code(errno, std::generic_category()));
        }
    } catch (...) {
        log(LogLevel::Warning, lcDiagnostics(), "Cannot write the launch marker");
    }
}

void ErrorReporter::markCleanExit()
{
    std::lock_guard guard(m_mutex);
    std::error_code error;
    std::filesystem::remove(markerPath(), error);
    if (error) {
        logFailure("Cannot remove " + markerPath().string(), error);
    }
}

} // namespace platform
