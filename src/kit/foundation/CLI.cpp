#include "kit/foundation/CLI.h"

#include "kit/foundation/core/ErrorValues.h"
#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
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

ProcessArguments& processArguments()
{
    static ProcessArguments arguments;
    return arguments;
}

} // namespace

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

void setProcessArguments(const std::vector<std::string>& argv)
{
    ProcessArguments& process = processArguments();
    process.programPath = argv.empty() ? std::string() : argv.front();
    process.arguments
        = argv.empty() ? std::vector<std::string>() : std::vector<std::string>(argv.begin() + 1, argv.end());
    process.parsed = parseArguments(process.arguments);
}

const std::vector<std::string>& arguments()
{
    return processArguments().arguments;
}

const std::vector<std::string>& positionalArguments()
{
    return processArguments().parsed.positional;
}

const std::map<std::string, OptionValue>& options()
{
    return processArguments().parsed.options;
}

bool hasOption(const std::string& name)
{
    return options().contains(name);
}

std::string name()
{
    return QFileInfo(QString::fromStdString(processArguments().programPath)).fileName().toStdString();
}

QUrl programURL()
{
    return QUrl::fromLocalFile(
        QFileInfo(QString::fromStdString(processArguments().programPath)).absoluteFilePath());
}

QUrl currentDirectoryURL()
{
    return QUrl::fromLocalFile(QDir::currentPath() + '/');
}

std::optional<std::string> readInput()
{
    std::string bytes;
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, standardInput)) > 0) {
        bytes.append(buffer, read);
    }
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

void dropSudoPrivileges()
{
    const char* text = std::getenv("SUDO_UID");
    if (text == nullptr || *text == '\0') {
        return;
    }
    std::uint32_t uid = 0;
    const char* end = text + std::strlen(text);
    const auto [last, error] = std::from_chars(text, end, uid);
    if (error != std::errc() || last != end) {
        return;
    }
    (void)::setuid(uid);
}

} // namespace zk::CLI
