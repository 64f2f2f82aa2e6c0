#include "kit/foundation/CLI.h"

#include "kit/foundation/core/ErrorValues.h"
#include "kit/foundation/core/FatalError.h"
#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <limits>
#include <poll.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zk::CLI {

std::FILE* standardInput = stdin;
std::FILE* standardOutput = stdout;
std::FILE* standardError = stderr;

namespace {

struct ProcessArguments {
    std::string programPath;
    std::vector<std::string> arguments;
    ParsedArguments parsed;
};

const ProcessArguments& process()
{
    static const ProcessArguments taken = [] {
        ProcessArguments result;
        std::vector<std::string> argv = processArguments();
        if (argv.empty()) {
            fatalError("The process has no arguments, not even its own path.");
        }
        result.programPath = argv.front();
        result.arguments.assign(argv.begin() + 1, argv.end());
        result.parsed = parseArguments(result.arguments);
        return result;
    }();
    return taken;
}

} // namespace

std::vector<std::string> processArguments()
{
    std::vector<std::string> result;
    std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
    std::string argument;
    while (cmdline && std::getline(cmdline, argument, '\0')) {
        result.push_back(argument);
    }
    if (!result.empty()) {
        return result;
    }
    if (QCoreApplication::instance()) {
        for (const QString& each : QCoreApplication::arguments()) {
            result.push_back(each.toStdString());
        }
    }
    return result;
}

ParsedArguments parseArguments(const std::vector<std::string>& arguments)
{
    ParsedArguments result;
    std::optional<std::string> pendingOption;
    for (const std::string& argument : arguments) {
        if (argument == "--") {
            break;
        }
        if (argument.starts_with("--")) {
            pendingOption = argument.substr(2);
            result.options[*pendingOption] = true;
            continue;
        }
        if (pendingOption) {
            result.options[*pendingOption] = argument;
            pendingOption.reset();
            continue;
        }
        result.positional.push_back(argument);
    }
    return result;
}

const std::vector<std::string>& arguments()
{
    return process().arguments;
}

const std::vector<std::string>& positionalArguments()
{
    return process().parsed.positional;
}

const std::map<std::string, OptionValue>& options()
{
    return process().parsed.options;
}

bool hasOption(const std::string& name)
{
    return options().contains(name);
}

std::string name()
{
    static const std::string programName
        = QFileInfo(QString::fromStdString(process().programPath)).fileName().toStdString();
    return programName;
}

QUrl programURL()
{
    static const QUrl url
        = QUrl::fromLocalFile(QFileInfo(QString::fromStdString(process().programPath)).absoluteFilePath());
    return url;
}

QUrl currentDirectoryURL()
{
    return QUrl::fromLocalFile(QDir::currentPath() + '/');
}

std::string availableInputData()
{
    // What the stream has read ahead already (a line reader before) comes first; then the
    // descriptor, waited on only when that is empty.
    std::FILE* input = standardInput;
    std::string bytes;
    const int descriptor = ::fileno(input);
    int pending = 0;
    if (descriptor < 0) {
        return bytes;
    }
    if (input->_IO_read_ptr != nullptr && input->_IO_read_ptr < input->_IO_read_end) {
        bytes.assign(input->_IO_read_ptr, input->_IO_read_end);
        input->_IO_read_ptr = input->_IO_read_end;
        if (::ioctl(descriptor, FIONREAD, &pending) != 0 || pending == 0) {
            return bytes;
        }
    }
    pollfd ready { descriptor, POLLIN, 0 };
    while (::poll(&ready, 1, -1) < 0 && errno == EINTR) { }
    // A regular file (or anything poll calls ready at once) is read to its end; a pipe or terminal
    // gives what is in it now.
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (::ioctl(descriptor, FIONREAD, &pending) == 0 && pending == 0) {
            struct stat status { };
            if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
                break;
            }
        }
    }
    return bytes;
}

std::optional<std::string> readInput()
{
    std::string bytes = availableInputData();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded
        = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (decoder.hasError()) {
        return std::nullopt;
    }
    if (bytes.ends_with('\n')) {
        bytes.pop_back();
    }
    return bytes;
}

std::optional<std::string> readLine(bool strippingNewline)
{
    std::string line;
    int c = 0;
    while ((c = std::fgetc(standardInput)) != EOF) {
        line.push_back(static_cast<char>(c));
        if (c == '\n') {
            break;
        }
    }
    if (line.empty() && c == EOF) {
        return std::nullopt;
    }
    if (strippingNewline && line.ends_with('\n')) {
        line.pop_back();
    }
    return line;
}

void printText(const std::string& text, std::FILE* to)
{
    if (std::fwrite(text.data(), 1, text.size(), to) == text.size() && std::fflush(to) == 0) {
        return;
    }
    reportError(GeneralError(std::string("Could not write to the output: ") + std::strerror(errno)));
}

void exitOnError(const std::function<void()>& body)
{
    try {
        body();
    } catch (const Error& error) {
        print(standardError, " ", "\n", error.localizedDescription());
        std::exit(1);
    } catch (const std::exception& error) {
        print(standardError, " ", "\n", std::string(error.what()));
        std::exit(1);
    }
}

namespace {

std::optional<std::uint32_t> identityFromEnvironment(const char* variable)
{
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    const char* end = text + std::strlen(text);
    const auto [last, error] = std::from_chars(text, end, value);
    if (error != std::errc() || last != end) {
        return std::nullopt;
    }
    return value;
}

[[noreturn]] void stopKeepingPrivileges(const std::string& step)
{
    print(standardError, " ", "\n",
        "Could not give up the rights of sudo (" + step + "): " + std::string(std::strerror(errno)));
    std::exit(1);
}

} // namespace

void dropSudoPrivileges()
{
    const auto uid = identityFromEnvironment("SUDO_UID");
    if (!uid) {
        return;
    }
    std::optional<std::uint32_t> gid = identityFromEnvironment("SUDO_GID");
    if (!gid) {
        errno = 0;
        const passwd* account = ::getpwuid(*uid);
        if (account == nullptr) {
            if (errno == 0) {
                errno = ENOENT;
            }
            stopKeepingPrivileges("no group for user " + std::to_string(*uid));
        }
        gid = account->pw_gid;
    }
    // Groups first and the user last: once the user is changed, the rights to change the others
    // are gone.
    if (::setgroups(0, nullptr) != 0) {
        stopKeepingPrivileges("supplementary groups");
    }
    if (::setgid(*gid) != 0 || ::getgid() != *gid || ::getegid() != *gid) {
        stopKeepingPrivileges("group " + std::to_string(*gid));
    }
    if (::setuid(*uid) != 0 || ::getuid() != *uid || ::geteuid() != *uid) {
        stopKeepingPrivileges("user " + std::to_string(*uid));
    }
}

} // namespace zk::CLI
