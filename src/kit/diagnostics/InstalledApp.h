#pragma once

#include <QString>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace zk {

// An installed application as the desktop describes it: its desktop entry's identifier ("the
// bundle identifier"), name and version, and the entry's path. Whether it is a web browser is read
// from the entry once, on first ask, and shared by the record's copies.
struct InstalledApp {
    std::string bundleIdentifier;
    std::string name;
    std::string version;
    std::string build;
    std::string url;

    InstalledApp(std::string bundleIdentifier, std::string name, std::string version, std::string build,
        std::string url);

    const std::string& id() const { return url; }
    bool isBrowser() const;

    // Copies of one record are equal; two records built separately are not.
    bool operator==(const InstalledApp& other) const;
    std::size_t hash() const;

    // The record of a desktop entry file; nothing when it cannot be read.
    static std::optional<InstalledApp> fromDesktopEntry(const QString& path);

private:
    struct BrowserOnce {
        std::optional<bool> value;
    };
    std::shared_ptr<BrowserOnce> _isBrowser = std::make_shared<BrowserOnce>();
};

// The desktop entry that opens "mailto:" links ("thunderbird.desktop"), from xdg-mime; nothing
// when none is set or xdg-mime is missing.
std::optional<std::string> defaultEmailAppBundleIdentifier();
// That entry's path, when it can be found.
std::optional<std::string> defaultEmailAppURL();

} // namespace zk

template <> struct std::hash<zk::InstalledApp> {
    std::size_t operator()(const zk::InstalledApp& app) const noexcept { return app.hash(); }
};
