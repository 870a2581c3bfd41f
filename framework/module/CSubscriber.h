#pragma once

#include <cstdint>
#include <list>
#include <string>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include "contracts/kernel/ISubscriber.h"

namespace Kol {
namespace Common {
namespace Module {

// The module's receiver on the bus: a first-in, first-out queue of (message,
// sender's user context) entries, taken one at a time by the module's
// processing thread, which is started on demand through the restart callback.
//
// Every operation may be called from any thread; m_mutex guards the queue and
// the flags. The lock is never held while the restart callback runs.
class CSubscriber : public Kernel::ISubscriber {
public:
    typedef boost::function<void()> RestartCallback;

    // How long an idle thread waits for a message before it leaves.
    static constexpr std::int64_t kIdleTimeoutNanoseconds = 5000000000;

    // `name` prefixes DescribeQueue; `restart` starts (or restarts) the
    // processing thread when a message arrives and none runs.
    CSubscriber(std::string name, RestartCallback restart);
    ~CSubscriber() override;

    CSubscriber(const CSubscriber&) = delete;
    CSubscriber& operator=(const CSubscriber&) = delete;

    // Queues the entry and wakes the thread; when the thread has left for lack
    // of work, starts a new one through the restart callback and passes on
    // what that throws (boost::bad_function_call for an empty callback,
    // boost::thread_resource_error when no thread can be made); the entry
    // stays queued and the next message tries to start the thread again.
    void OnMessage(const Kernel::IMessagePtr& message, const UserContextPtr& userContext) override;

    // "" and true for an empty queue; otherwise "<name>:<A>,<B>,..." built
    // from the queued messages' names, and false.
    bool DescribeQueue(std::string& text) override;

    // Calls `visitor` for each entry in queue order, under the lock (the
    // visitor must not call back into this subscriber). An empty visitor
    // throws boost::bad_function_call when something is queued.
    void ForEachQueued(const QueueVisitor& visitor) override;

    // --- Used by the processing thread and the module's Start and Stop. ---

    // Processing thread: marks the thread as waiting and waits for the next
    // entry. Returns true with `entry` taken from the queue (the thread is then
    // no longer waiting); false when the thread must end: a graceful stop asked
    // for it, or nothing arrived for kIdleTimeoutNanoseconds (the exited flag
    // is then set). The wait is an interruption point.
    bool TakeNext(QueueEntry& entry);

    // Start: when idle-exit is on, makes sure queued work gets a thread. With
    // a non-empty queue the exited flag is cleared and the restart callback is
    // called (after the lock is released); with an empty one the exited flag
    // is set so that the next message starts the thread. The caller makes sure
    // no thread is running.
    void Arm();

    // Graceful stop: false when the subscriber is busy (something queued, or
    // a message being processed). Otherwise makes a waiting thread leave
    // (`hasThread`) or clears the exited flag, so that no thread starts until
    // the next Arm, and returns true.
    bool PrepareGracefulStop(bool hasThread);

    std::uint64_t GetQueueSize() const;
    bool IsWaiting() const;
    bool IsExited() const;
    const std::string& GetName() const { return m_name; }

private:
    // Calls the restart callback; if it throws, sets the exited flag again so
    // that the next message retries, and passes the exception on.
    void Restart();

    const std::string m_name;
    mutable boost::mutex m_mutex;
    boost::condition_variable m_wakeUp;  // used with m_mutex
    std::list<QueueEntry> m_queue;       // guarded by m_mutex
    // Always m_queue.size(); kept as part of the subscriber's documented state.
    std::uint64_t m_queueSize;  // guarded by m_mutex
    std::size_t m_sleepers;     // threads waiting on m_wakeUp; guarded by m_mutex
    bool m_stop;                // guarded by m_mutex
    bool m_waiting;             // guarded by m_mutex
    // Always true in this module: the framework also knows subscribers whose
    // thread never leaves for lack of work (false), which no module here uses.
    const bool m_idleExit;
    bool m_exited;  // guarded by m_mutex
    const RestartCallback m_restart;
};

typedef boost::shared_ptr<CSubscriber> CSubscriberPtr;

}  // namespace Module
}  // namespace Common
}  // namespace Kol
