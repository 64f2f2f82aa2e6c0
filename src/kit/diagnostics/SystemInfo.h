#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zk {

// The machine's facts for the debug information, each read once on first use and kept for the
// life of the process. The readings are pure functions of the raw texts, so that they can be
// checked against any machine's files. Safe from any thread.
namespace SystemInfo {

// The kernel release's first three numbers ("6.1.0" for "6.1.0-18-amd64"), missing ones as 0.
const std::string& osVersion();
// The distribution's PRETTY_NAME from os-release, or "<Unknown build>".
const std::string& osBuild();
// osVersion + " (" + osBuild + ")".
const std::string& osVersionWithBuild();
// "Linux " + osVersionWithBuild: "Linux 6.1.0 (Debian GNU/Linux 12 (bookworm))".
const std::string& osDescription();
// The board's vendor and product from DMI, else the device tree's model, else "<Unknown model>".
const std::string& hardwareModel();
// The kernel's machine name ("x86_64", "aarch64"), or "unknown".
const std::string& architecture();

// The readings behind the values above.
std::string osVersionFromRelease(std::string_view kernelRelease);
std::optional<std::string> prettyNameFromOsRelease(std::string_view osReleaseText);
// Each argument is the raw content of its file, when it could be read.
std::optional<std::string> hardwareModelFrom(const std::optional<std::string>& dmiVendor,
    const std::optional<std::string>& dmiProduct, const std::optional<std::string>& deviceTreeModel);
// The machine field as the kernel fills it: trailing zero bytes and control characters trimmed;
// nothing when it is empty or not ASCII.
std::optional<std::string> architectureFromMachine(std::string_view machine);

} // namespace SystemInfo

} // namespace zk
