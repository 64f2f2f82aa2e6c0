#include "platform/fake/FakeGlobalInputSource.h"

namespace platform {

void FakeGlobalInputSource::send(const GlobalInputEvent& event)
{
    if (watchers > 0) {
        emit inputEvent(event);
    }
}

} // namespace platform
