#pragma once

#include "kit/foundation/core/Description.h"

#include <QString>
#include <QUrl>

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zk {

// What a program run from a terminal needs: its standard streams (replaceable, e.g. to capture
// output), its arguments split into positional ones and "--" options, its name, input and output.
namespace CLI {

// An option's value: present alone (true) or followed by a plain argument (its text).
using OptionValue = std::variant<bool, std::string>;

struct ParsedArguments {
    std::vector<std::string> positional;
    std::map<std::string, OptionValue> options;
};

// "--name" starts an option, a plain argument right after it is its value, and a lone "--" ends
// the parse (what follows is ignored).
ParsedArguments parseArguments(const std::vector<std::string>& arguments);

// The streams later calls read and write.
extern std::FILE* standardInput;
extern std::FILE* standardOutput;
extern std::FILE* standardError;

// The process's own arguments as the kernel keeps them (/proc/self/cmdline), or, where that
// cannot be read, the application object's; the program's own path first.
std::vector<std::string> processArguments();

// Taken from the process once, on first use: arguments without the program's own path, the
// split, the name.
const std::vector<std::string>& arguments();
const std::vector<std::string>& positionalArguments();
const std::map<std::string, OptionValue>& options();
bool hasOption(const std::string& name);
std::string name();
// The program as a file URL, and the current folder as a folder URL (asked anew each time).
QUrl programURL();
QUrl currentDirectoryURL();

// The bytes standard input holds now: waits until some arrive or the input ends (then empty), and
// takes what is there without waiting for the writer to finish.
std::string availableInputData();
// The available input decoded as UTF-8 without one trailing line feed; nothing when it is not
// UTF-8.
std::optional<std::string> readInput();
// One line without its line feed; nothing at the end of input.
std::optional<std::string> readLine(bool strippingNewline = true);

// Writes the values' texts joined by `separator`, then `terminator`. A failed write is reported,
// never thrown.
void printText(const std::string& text, std::FILE* to);
template <class... Values>
void print(
    std::FILE* to, const std::string& separator, const std::string& terminator, const Values&... values)
{
    std::string text;
    bool first = true;
    ((text += (first ? "" : separator) + textDescription(values), first = false), ...);
    printText(text + terminator, to);
}

// Runs `body`; when it throws, prints the error's message to standard error and exits with 1.
void exitOnError(const std::function<void()>& body);

// Started through sudo: becomes the user who ran sudo again ("SUDO_UID", with "SUDO_GID" or else
// that user's own group): supplementary groups first, then the group, then the user, each checked.
// When any step fails the program stops with a message on standard error (status 1) rather than
// going on with rights it should have given up. Does nothing without a valid "SUDO_UID".
void dropSudoPrivileges();

} // namespace CLI

} // namespace zk
