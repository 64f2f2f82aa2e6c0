#include "kit/diagnostics/SystemInfo.h"

#include <QFile>
#include <QString>

#include <sys/utsname.h>

#include <algorithm>
#include <cctype>

namespace zk::SystemInfo {

namespace {

std::optional<std::string> readFile(const char* path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll().toStdString();
}

std::string trimmed(std::string_view text)
{
    const auto isSpace = [](unsigned char c) { return std::isspace(c) || c == '\0'; };
    while (!text.empty() && isSpace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

bool isValidUtf8(const std::string& text)
{
    const QByteArray bytes = QByteArray::fromStdString(text);
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// Values the firmware leaves in DMI fields it was not given.
bool isPlaceholder(const std::string& value)
{
    static const char* const placeholders[] = { "To be filled by O.E.M.", "To Be Filled By O.E.M.",
        "System Product Name", "System manufacturer", "Default string", "Not Applicable", "None" };
    return value.empty()
        || std::any_of(std::begin(placeholders), std::end(placeholders),
            [&](const char* placeholder) { return value == placeholder; });
}

struct utsname kernelName()
{
    struct utsname name { };
    if (uname(&name) != 0) {
        name = {};
    }
    return name;
}

} // namespace

std::string osVersionFromRelease(std::string_view kernelRelease)
{
    long parts[3] = { 0, 0, 0 };
    std::size_t position = 0;
    for (int index = 0; index < 3; ++index) {
        if (position >= kernelRelease.size()
            || !std::isdigit(static_cast<unsigned char>(kernelRelease[position]))) {
            break;
        }
        long value = 0;
        while (position < kernelRelease.size()
            && std::isdigit(static_cast<unsigned char>(kernelRelease[position]))) {
            value = std::min(value * 10 + (kernelRelease[position] - '0'), 999999L);
            ++position;
        }
        parts[index] = value;
        if (position >= kernelRelease.size() || kernelRelease[position] != '.') {
            break;
        }
        ++position;
    }
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]);
}

std::optional<std::string> prettyNameFromOsRelease(std::string_view osReleaseText)
{
    std::size_t start = 0;
    while (start <= osReleaseText.size()) {
        const std::size_t end = std::min(osReleaseText.find('\n', start), osReleaseText.size());
        const std::string line = trimmed(osReleaseText.substr(start, end - start));
        if (line.starts_with("PRETTY_NAME=")) {
            std::string value = line.substr(std::string_view("PRETTY_NAME=").size());
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
                && value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            // Shell escapes of the quoted form.
            std::string unescaped;
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (value[i] == '\\' && i + 1 < value.size()) {
                    ++i;
                }
                unescaped += value[i];
            }
            if (unescaped.empty() || !isValidUtf8(unescaped)) {
                return std::nullopt;
            }
            return unescaped;
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::string> hardwareModelFrom(const std::optional<std::string>& dmiVendor,
    const std::optional<std::string>& dmiProduct, const std::optional<std::string>& deviceTreeModel)
{
    const std::string product = dmiProduct ? trimmed(*dmiProduct) : std::string();
    if (!isPlaceholder(product) && isValidUtf8(product)) {
        const std::string vendor = dmiVendor ? trimmed(*dmiVendor) : std::string();
        if (!isPlaceholder(vendor) && isValidUtf8(vendor) && product.find(vendor) == std::string::npos) {
            return vendor + " " + product;
        }
        return product;
    }
    if (deviceTreeModel) {
        std::string model = *deviceTreeModel;
        // The device tree ends its strings with one zero byte.
        if (!model.empty() && model.back() == '\0') {
            model.pop_back();
        }
        if (!model.empty() && isValidUtf8(model)) {
            return model;
        }
    }
    return std::nullopt;
}

std::optional<std::string> architectureFromMachine(std::string_view machine)
{
    if (std::any_of(
            machine.begin(), machine.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; })) {
        return std::nullopt;
    }
    const auto isControl = [](char c) { return std::iscntrl(static_cast<unsigned char>(c)) != 0; };
    while (!machine.empty() && isControl(machine.front())) {
        machine.remove_prefix(1);
    }
    while (!machine.empty() && isControl(machine.back())) {
        machine.remove_suffix(1);
    }
    if (machine.empty()) {
        return std::nullopt;
    }
    return std::string(machine);
}

const std::string& osVersion()
{
    static const std::string value = osVersionFromRelease(kernelName().release);
    return value;
}

const std::string& osBuild()
{
    static const std::string value = [] {
        auto text = readFile("/etc/os-release");
        if (!text) {
            text = readFile("/usr/lib/os-release");
        }
        return (text ? prettyNameFromOsRelease(*text) : std::nullopt).value_or("<Unknown build>");
    }();
    return value;
}

const std::string& osVersionWithBuild()
{
    static const std::string value = osVersion() + " (" + osBuild() + ")";
    return value;
}

const std::string& osDescription()
{
    static const std::string value = "Linux " + osVersionWithBuild();
    return value;
}

const std::string& hardwareModel()
{
    static const std::string value = hardwareModelFrom(readFile("/sys/devices/virtual/dmi/id/sys_vendor"),
        readFile("/sys/devices/virtual/dmi/id/product_name"), readFile("/proc/device-tree/model"))
                                         .value_or("<Unknown model>");
    return value;
}

const std::string& architecture()
{
    static const std::string value = [] {
        const struct utsname name = kernelName();
        return architectureFromMachine(std::string_view(name.machine, sizeof(name.machine)))
            .value_or("unknown");
    }();
    return value;
}

} // namespace zk::SystemInfo
