#pragma once

#include "platform/time/Date.h"

#include <optional>
#include <string>

namespace kiruvo {

// Tells the user about a history that could not be stored, once per failure: the log at the first
// failed write, and an alert when writes have kept failing for a minute (a full disk that does not
// clear by itself). A write that succeeds again ends the failure and says so in the log. Likewise
// for a database another process holds for over a minute, whose writes wait safely beside it.
//
// Main-thread only.
class HistoryStoreFailure {
public:
    static constexpr double alertDelay = 60.0;

    // A write of the history failed at `now`.
    void writeFailed(platform::Date now);
    // A write of the history succeeded.
    void writeSucceeded();

    bool isFailing() const { return m_writeFailure.since.has_value(); }

    // Another process holds the settings database at `now`: writes wait beside it, or the stored
    // values are not read yet. Told in an alert once it has lasted a minute.
    void databaseHeld(platform::Date now, const std::string& path);
    // The database holds every write again.
    void databaseFree();

private:
    // One trouble, from its first sighting to its end.
    struct Episode {
        std::optional<platform::Date> since;
        bool alerted = false;
        // Whether it has lasted long enough to be told, and not been told yet.
        bool isDueForAlert(platform::Date now);
        // Whether there was one.
        bool end();
    };
    Episode m_writeFailure;
    Episode m_held;
};

} // namespace kiruvo
