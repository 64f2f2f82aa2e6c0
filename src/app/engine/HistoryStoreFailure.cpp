#include "app/engine/HistoryStoreFailure.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "platform/Logger.h"

namespace kiruvo {

namespace {

constexpr const char* logCategory = "SessionController";

} // namespace

void HistoryStoreFailure::writeFailed(platform::Date now)
{
    if (!m_failingSince) {
        m_failingSince = now;
        platform::log(platform::LogLevel::Error, logCategory,
            "The session history could not be stored; it is kept in memory and written again at the next "
            "chance.");
        return;
    }
    if (m_alerted || now.timeIntervalSince(*m_failingSince) < alertDelay) {
        return;
    }
    m_alerted = true;
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
    if (!m_failingSince) {
        return;
    }
    m_failingSince.reset();
    m_alerted = false;
    platform::log(platform::LogLevel::Info, logCategory, "The session history is stored again.");
}

} // namespace kiruvo
