#include "app/engine/HistoryStoreFailure.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "platform/Logger.h"

namespace kiruvo {

namespace {

} // namespace

bool HistoryStoreFailure::Episode::isDueForAlert(platform::Date now)
{
    if (!since) {
        since = now;
        return false;
    }
    if (alerted || now.timeIntervalSince(*since) < alertDelay) {
        return false;
    }
    alerted = true;
    return true;
}

bool HistoryStoreFailure::Episode::end()
{
    const bool wasOn = since.has_value();
    since.reset();
    alerted = false;
    return wasOn;
}

void HistoryStoreFailure::writeFailed(platform::Date now)
{
    if (!m_writeFailure.since) {
        platform::log(platform::LogLevel::Error, platform::lcEngine(),
            "The session history could not be stored; it is kept in memory and written again at the next "
            "chance.");
    }
    if (!m_writeFailure.isDueForAlert(now)) {
        return;
    }
    zk::AlertDescription description;
    description.title = "Kiruvo cannot save your sessions";
    description.message = "The settings database cannot be written to (it may be locked by another program, "
                          "or the disk may be full or read-only). Your sessions are kept while Kiruvo runs "
                          "and saved as soon as the database can be written again; quitting before then "
                          "loses them.";
    zk::AlertPresenter::shared().present(zk::makeAlert(description));
}

void HistoryStoreFailure::writeSucceeded()
{
    if (m_writeFailure.end()) {
        platform::log(platform::LogLevel::Info, platform::lcEngine(), "The session history is stored again.");
    }
}

void HistoryStoreFailure::databaseHeld(platform::Date now, const std::string& path)
{
    if (!m_held.isDueForAlert(now)) {
        return;
    }
    platform::log(platform::LogLevel::Warning, platform::lcEngine(),
        "Another process has held " + path + " for over a minute; writes wait beside it.");
    zk::AlertDescription description;
    description.title = "Kiruvo cannot reach its settings database";
    description.message = "Another program (a backup or a database browser, perhaps) has been holding " + path
        + " for over a minute. Nothing is lost: what you change and the sessions you record are kept beside "
          "it and saved in it as soon as it is free, and stored settings and sessions not shown yet appear "
          "then.";
    zk::AlertPresenter::shared().present(zk::makeAlert(description));
}

void HistoryStoreFailure::databaseFree()
{
    if (m_held.end()) {
        platform::log(platform::LogLevel::Info, platform::lcEngine(), "The settings database is free again.");
    }
}

} // namespace kiruvo
