#pragma once

#include <QString>

#include <cstddef>
#include <functional>
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

// What the answers of the two look-ups below are handed to, on the main thread.
using MailAppAnswer = std::function<void(std::optional<std::string>)>;
// The desktop entry file of the user's default mail program (the one that opens "mailto:" links),
// asked of xdg-mime without waiting for it: `answer` gets the entry's path, or nothing when none is
// set, the entry is not installed, xdg-mime is missing (a sandbox) or has not answered in 2 s.
void defaultEmailAppURL(MailAppAnswer answer);
// The identifier of that entry ("thunderbird" for thunderbird.desktop), read from the entry that
// defaultEmailAppURL found; nothing when it found none.
void defaultEmailAppBundleIdentifier(MailAppAnswer answer);

} // namespace zk

template <> struct std::hash<zk::InstalledApp> {
    std::size_t operator()(const zk::InstalledApp& app) const noexcept { return app.hash(); }
};
