#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IBusResource.h"

namespace Kol {
namespace Host {

// The host's message bus. Messages the module sends go to the send observer
// on the sending thread; messages the host delivers reach the subscribers of
// their type on the bus's own delivery thread, as a kernel would do it.
//
// Thread-safe. The delivery thread runs from construction to destruction.
class CHostBus : public Common::Kernel::IBusResource {
public:
    typedef Common::Kernel::ISubscriber::UserContextPtr UserContextPtr;
    typedef boost::function<void(const Common::Kernel::IMessagePtr& message,
                                 const UserContextPtr& userContext)>
        SendObserver;

    // The observer must be thread-safe; what it throws reaches the sender.
    explicit CHostBus(const SendObserver& observer);
    // Stops the delivery thread; deliveries not yet made are dropped.
    ~CHostBus() override;

    CHostBus(const CHostBus&) = delete;
    CHostBus& operator=(const CHostBus&) = delete;

    // Hands the message to the observer and returns true.
    bool Send(const Common::Kernel::IMessagePtr& message,
              const UserContextPtr& userContext) override;
    void Subscribe(const Common::Kernel::ISubscriberPtr& subscriber,
                   Common::Kernel::MessageType type) override;

    std::size_t CountSubscribers(Common::Kernel::MessageType type) const;

    // Has the delivery thread call OnMessage of every subscriber of the
    // message's type and waits until each call returned. Returns how many
    // subscribers were reached. Rethrows what an OnMessage threw; throws
    // std::runtime_error when the delivery does not end within `timeout`.
    std::size_t Deliver(const Common::Kernel::IMessagePtr& message,
                        const UserContextPtr& userContext, std::chrono::milliseconds timeout);

    // Lets go of every subscriber (before the code behind them is unloaded).
    void DropSubscribers();

private:
    struct Delivery {
        Common::Kernel::IMessagePtr message;
        UserContextPtr userContext;
        bool done = false;
        std::size_t reached = 0;
        std::exception_ptr error;
    };

    void Run();

    const SendObserver m_observer;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::multimap<std::int32_t, Common::Kernel::ISubscriberPtr>
        m_subscribers;                                // guarded by m_mutex
    std::deque<boost::shared_ptr<Delivery>> m_queue;  // guarded by m_mutex
    bool m_stopping;                                  // guarded by m_mutex
    // A std::thread, unlike the module's threads: it only hands messages to
    // subscribers, and none of it waits on work a forced stop must cut short.
    // The mapper calls run on the module's boost::thread, whose interruption
    // flag is what CBatchedDelete reads between batches.
    std::thread m_thread;
};

}  // namespace Host
}  // namespace Kol
