#pragma once

#include "platform/desktop/GlobalInputSource.h"

#include <memory>
#include <string>

class QSocketNotifier;
struct _XDisplay;

namespace platform {

// The whole X11 desktop's keyboard and pointer through XInput2's raw events, on a connection of
// its own (so Qt's event handling never sees them). Raw events carry only the key code or button
// and no window: nothing is learnt about what the user typed where, beyond that they did.
//
// Main-thread only.
class XInput2GlobalInputSource : public GlobalInputSource {
    Q_OBJECT
public:
    // `display` empty means $DISPLAY.
    explicit XInput2GlobalInputSource(const std::string& display = {});
    ~XInput2GlobalInputSource() override;

    bool isAvailable() const override { return m_display != nullptr; }
    QString unavailableReason() const override { return m_reason; }
    void start() override;
    void stop() override;

private:
    void select(bool watching);
    void readEvents();

    _XDisplay* m_display = nullptr;
    int m_opcode = 0;
    int m_watchers = 0;
    QString m_reason;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace platform
