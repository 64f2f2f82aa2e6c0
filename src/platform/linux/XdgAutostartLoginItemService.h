#pragma once

#include "platform/desktop/LoginItemService.h"
#include "platform/linux/DesktopEntry.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace platform::xdg {

// Login items as XDG autostart entries: the application's own is
// `$XDG_CONFIG_HOME/autostart/<identifier>.desktop`, holding the fields of the installed desktop
// entry, `Exec` set to this executable and `X-GNOME-Autostart-enabled=true`.
//
// The state is read back from the files every time. The user's entry hides a system-wide one of
// the same name (in `$XDG_CONFIG_DIRS/autostart`); an entry with `Hidden=true`,
// `X-GNOME-Autostart-enabled=false`, or an `Exec` that runs another program counts as off.
// An entry is "on" when it is not switched off and starts this program (its Exec resolved through
// `env` and the PATH). Only an entry that is exactly the one this class writes is Kiruvo's own:
// it is written whole and removed when switched off. Any other (the user wrote or edited it) is
// never replaced or removed: switching changes only `Hidden` and `X-GNOME-Autostart-enabled`,
// every other line staying as it was, and one that starts another program is not touched at all.
// Entries are read only when they are regular files of a sane size (never a FIFO or a device),
// written atomically (a half-written file never replaces a good one), and enabling an item that
// is on already leaves it untouched. Turning off, when a system-wide entry would take its place,
// writes a switched-off copy instead of removing; an entry that is off already is left as it is.
//
// Main-thread only; every call completes at once.
class XdgAutostartLoginItemService final : public LoginItemService {
public:
    struct Options {
        // The user's configuration folder. Empty: `$XDG_CONFIG_HOME`, else `~/.config`.
        QString configHome;
        // The system's configuration folders, most important first. Empty: `$XDG_CONFIG_DIRS`,
        // else `/etc/xdg`.
        std::optional<QStringList> configDirs;
        // The entry's name without ".desktop". Empty: "com.zelvantorium.Kiruvo".
        QString identifier;
        // The text of the desktop entry whose fields the autostart entry takes. Empty: the
        // installed entry of that name, else the one built into the program.
        QString entryTemplate;
        // The program the entry starts, an absolute path. Empty: the running executable.
        QString executable;
    };

    XdgAutostartLoginItemService();
    explicit XdgAutostartLoginItemService(Options options);

    Status status() const override;
    void registerApp(Completion completion) override;
    void unregisterApp(Completion completion) override;
    bool isLoginItemEnabled(const std::string& identifier) const override;
    bool removeLoginItem(const std::string& identifier) override;

    // Where the user's entry of an identifier lives.
    QString userEntryPath(const QString& identifier) const;
    // The entry registerApp() writes.
    QString entryText() const;

private:
    // The entry that the desktop starts for this identifier: the user's, else the first
    // system-wide one. Its path, and the entry when it could be read.
    struct Found {
        QString path;
        // Nothing when it could not be read (see above).
        std::optional<QString> text;
        std::optional<DesktopEntry> entry;
        bool isUsers = false;
    };
    // The text with both switches set to off, every other line kept.
    static QString switchedOffEntryText(const QString& text);
    // Whether the text is exactly what this class writes (switched on or off).
    bool isOwnEntry(const QString& text) const;
    std::optional<Found> find(const QString& identifier) const;
    std::optional<QString> systemEntryPath(const QString& identifier) const;
    bool runsThisProgram(const DesktopEntry& entry) const;
    Failure write(const QString& path, const QString& text) const;

    Options m_options;
};

} // namespace platform::xdg
