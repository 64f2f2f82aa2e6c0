#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace zk {

class LifetimeOwner;

// Ties an object (typically an observation) to an owner: the owner keeps the object alive, and
// when the owner is destroyed the association's handler runs and the object is released. The
// owner is a QObject or a LifetimeOwner (for owners that are not QObjects).
//
// Three ends: the owner goes first (its handler runs, the object is released); cancel() (the
// tracker leaves the owner and nothing runs); the association is destroyed while the owner lives
// (the tracker leaves the owner and its handler runs once nothing else holds it).
//
// Main-thread only (more exactly: the owner's thread). The handler must not use the owner, which
// is being destroyed when it runs.
class LifetimeAssociation {
public:
    // Holds the target and the handler; when destroyed it calls the handler, then releases both.
    class ObjectLifetimeTracker {
    public:
        ObjectLifetimeTracker(std::shared_ptr<void> object, std::function<void()> deinitHandler);
        ~ObjectLifetimeTracker();
        ObjectLifetimeTracker(const ObjectLifetimeTracker&) = delete;
        ObjectLifetimeTracker& operator=(const ObjectLifetimeTracker&) = delete;

        std::shared_ptr<void> object;
        std::function<void()> deinitHandler;
    };

    // The trackers an owner carries.
    struct TrackerList {
        std::vector<std::shared_ptr<ObjectLifetimeTracker>> trackers;
    };

    LifetimeAssociation(std::shared_ptr<void> target, QObject* owner, std::function<void()> deinitHandler);
    LifetimeAssociation(
        std::shared_ptr<void> target, LifetimeOwner& owner, std::function<void()> deinitHandler);
    ~LifetimeAssociation();
    LifetimeAssociation(const LifetimeAssociation&) = delete;
    LifetimeAssociation& operator=(const LifetimeAssociation&) = delete;

    // Ends the tie without running the handler. Does nothing once the owner is gone.
    void cancel();

    bool isOwnerAlive() const { return !m_owner.expired(); }

private:
    void attach(const std::shared_ptr<TrackerList>& list, std::shared_ptr<void> target,
        std::function<void()> deinitHandler);
    void detach();

    std::weak_ptr<ObjectLifetimeTracker> m_wrappedObject;
    std::weak_ptr<TrackerList> m_owner;
};

// Makes any object an owner of lifetime associations: destroying it ends every association tied
// to it. Main-thread only.
class LifetimeOwner {
public:
    LifetimeOwner();
    ~LifetimeOwner();
    LifetimeOwner(const LifetimeOwner&) = delete;
    LifetimeOwner& operator=(const LifetimeOwner&) = delete;

private:
    friend class LifetimeAssociation;
    std::shared_ptr<LifetimeAssociation::TrackerList> m_list;
};

} // namespace zk
