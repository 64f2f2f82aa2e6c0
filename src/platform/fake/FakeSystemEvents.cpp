#include "platform/fake/FakeSystemEvents.h"

namespace platform::fake {

FakeSystemEvents::FakeSystemEvents(QObject* parent)
    : SystemEvents(parent)
{
    SystemEvents::setShared(this);
}

FakeSystemEvents::~FakeSystemEvents()
{
    // The base destructor uninstalls it.
}

} // namespace platform::fake
