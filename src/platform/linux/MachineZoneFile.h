#pragma once

#include <optional>
#include <set>
#include <string>

namespace platform {

// The zone of the tz database that the C library's local time comes from. The C library reads the
// zone file (/etc/localtime) itself, whatever the files around it say, so the file decides:
// - a symbolic link (or a chain of them) into the zone database names its zone by the path it
//   ends at, without a "posix/" or "right/" folder in front (those hold the same zones);
// - anything else (a copy, as Debian's tools may leave, a file bind-mounted over it, a link that
//   ends outside the database) is found by its contents among the database's files. Which of the
//   zones with those very contents it is, "timezone" beside the zone file (Debian's) may say, and
//   only then, as the file may be out of date.
// A file mounted over a database file (a bind mount over /etc/localtime lands on the file its link
// leads to) holds another zone than its name says: such a file names no zone, and only its
// contents count.
//
// Any thread.
class MachineZoneFile {
public:
    struct Paths {
        std::string zoneFile = "/etc/localtime";
        std::string zoneDatabase = "/usr/share/zoneinfo";
        // The kernel's table of this process's mounts.
        std::string mountTable = "/proc/self/mountinfo";
    };

    explicit MachineZoneFile(Paths paths);
    MachineZoneFile();

    // The zone's name, known to the time zone library, or nothing when the file is missing or no
    // zone of the database is it. Of zones with the same contents, `preferred` (the zone in use)
    // comes first, then the one "timezone" names, then the first by name.
    std::optional<std::string> zoneName(const std::string& preferred = {}) const;

    const Paths& paths() const { return m_paths; }
    // Debian's file that names the zone, beside the zone file.
    std::string nameFile() const;

private:
    std::optional<std::string> nameOfLinkTarget(const std::set<std::string>& mounted) const;
    std::optional<std::string> nameByContents(const std::string& contents, const std::string& preferred,
        const std::set<std::string>& mounted) const;
    // The paths something is mounted on.
    std::set<std::string> mountPoints() const;

    Paths m_paths;
};

} // namespace platform
