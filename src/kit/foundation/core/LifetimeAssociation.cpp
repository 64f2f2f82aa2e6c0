#include "kit/foundation/core/LifetimeAssociation.h"

#include <algorithm>
#include <utility>

namespace zk {

namespace {

// Carries an owner's trackers as a child of the owner, so that they go when the owner's children
// are deleted.
class TrackerListHolder final : public QObject {
public:
    explicit TrackerListHolder(QObject* owner)
        : QObject(owner)
        , list(std::make_shared<LifetimeAssociation::TrackerList>())
    {
        setObjectName(QString::fromLatin1(holderName));
    }
    ~TrackerListHolder() override
    {
        // Handlers run here; they find the owner's list already gone.
        auto dying = std::move(list);
    }

    static constexpr const char* holderName = "zk.LifetimeAssociation.trackers";
    std::shared_ptr<LifetimeAssociation::TrackerList> list;
};

std::shared_ptr<LifetimeAssociation::TrackerList> trackerList(QObject* owner)
{
    for (QObject* child : owner->children()) {
        if (auto* holder = dynamic_cast<TrackerListHolder*>(child)) {
            return holder->list;
        }
    }
    return (new TrackerListHolder(owner))->list;
}

} // namespace

LifetimeAssociation::ObjectLifetimeTracker::ObjectLifetimeTracker(
    std::shared_ptr<void> object, std::function<void()> deinitHandler)
    : object(std::move(object))
    , deinitHandler(std::move(deinitHandler))
{
}

LifetimeAssociation::ObjectLifetimeTracker::~ObjectLifetimeTracker()
{
    if (auto handler = std::exchange(deinitHandler, nullptr)) {
        handler();
    }
    object.reset();
}

LifetimeAssociation::LifetimeAssociation(
    std::shared_ptr<void> target, QObject* owner, std::function<void()> deinitHandler)
{
    if (owner) {
        attach(trackerList(owner), std::move(target), std::move(deinitHandler));
    }
}

LifetimeAssociation::LifetimeAssociation(
    std::shared_ptr<void> target, LifetimeOwner& owner, std::function<void()> deinitHandler)
{
    attach(owner.m_list, std::move(target), std::move(deinitHandler));
}

LifetimeAssociation::~LifetimeAssociation()
{
    detach();
}

void LifetimeAssociation::attach(const std::shared_ptr<TrackerList>& list, std::shared_ptr<void> target,
    std::function<void()> deinitHandler)
{
    if (!list) {
        return;
    }
    auto tracker = std::make_shared<ObjectLifetimeTracker>(std::move(target), std::move(deinitHandler));
    list->trackers.push_back(tracker);
    m_wrappedObject = tracker;
    m_owner = list;
}

void LifetimeAssociation::cancel()
{
    if (auto tracker = m_wrappedObject.lock()) {
        tracker->deinitHandler = [] {};
    }
    detach();
}

void LifetimeAssociation::detach()
{
    auto list = m_owner.lock();
    auto tracker = m_wrappedObject.lock();
    if (!list || !tracker) {
        return;
    }
    auto& trackers = list->trackers;
    auto found = std::find(trackers.begin(), trackers.end(), tracker);
    if (found == trackers.end()) {
        return;
    }
    // The tracker leaves the list before it can be destroyed (and its handler run), so a handler
    // that touches the owner's associations finds the list consistent.
    trackers.erase(found);
    m_owner.reset();
    m_wrappedObject.reset();
    tracker.reset();
}

LifetimeOwner::LifetimeOwner()
    : m_list(std::make_shared<LifetimeAssociation::TrackerList>())
{
}

LifetimeOwner::~LifetimeOwner()
{
    auto dying = std::move(m_list);
}

} // namespace zk
