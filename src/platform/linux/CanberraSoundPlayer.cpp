#include "platform/linux/CanberraSoundPlayer.h"

#include "platform/Logger.h"

#include <canberra.h>

namespace platform {

namespace {
} // namespace

CanberraSoundPlayer::~CanberraSoundPlayer()
{
    if (m_context != nullptr) {
        ca_context_destroy(m_context);
    }
}

bool CanberraSoundPlayer::ensureContext()
{
    if (m_context != nullptr) {
        return true;
    }
    if (m_contextFailed) {
        return false;
    }
    int code = ca_context_create(&m_context);
    if (code == CA_SUCCESS) {
        code = ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Kiruvo", CA_PROP_APPLICATION_ID,
            "com.zelvantorium.Kiruvo", nullptr);
    }
    if (code != CA_SUCCESS) {
        if (m_context != nullptr) {
            ca_context_destroy(m_context);
            m_context = nullptr;
        }
        m_contextFailed = true;
        logFailureOnce(code, "Sounds are off: ");
        return false;
    }
    return true;
}

void CanberraSoundPlayer::play(const std::string& eventId, const std::string& description)
{
    if (!ensureContext()) {
        return;
    }
    const int code = ca_context_play(m_context, 0, CA_PROP_EVENT_ID, eventId.c_str(),
        CA_PROP_EVENT_DESCRIPTION, description.c_str(), nullptr);
    if (code != CA_SUCCESS) {
        logFailureOnce(code, "Could not play \"" + eventId + "\": ");
    }
}

void CanberraSoundPlayer::logFailureOnce(int code, const std::string& what)
{
    if (!m_loggedFailures.insert(code).second) {
        return;
    }
    log(LogLevel::Info, lcReminders(), what + ca_strerror(code));
}

} // namespace platform
