#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/thread/thread.hpp>

#include "contracts/kernel/IBusResource.h"

namespace Kol {
namespace Testing {

// A bus that records what modules send and subscribe, and delivers messages
// to its subscribers from its own delivery thread, like the kernel does.
// Thread-safe; the delivery thread lives from construction to destruction.
class CTestBus : public Common::Kernel::IBusResource {
public:
    typedef Common::Kernel::ISubscriber::UserContextPtr UserContextPtr;

    struct SentRecord {
        Common::Kernel::IMessagePtr message;
        UserContextPtr userContext;
        boost::thread::id thread;  // the thread that called Send
    };
    struct SubscribeRecord {
        Common::Kernel::ISubscriberPtr subscriber;
        Common::Kernel::MessageType type;
    };

    CTestBus();
    // Stops the delivery thread; deliveries not yet made are dropped.
    ~CTestBus() override;

    CTestBus(const CTestBus&) = delete;
    CTestBus& operator=(const CTestBus&) = delete;

    // Records the call; throws std::runtime_error with the text set by
    // FailSendsWith, if any (after recording). Returns true.
    bool Send(const Common::Kernel::IMessagePtr& message,
              const UserContextPtr& userContext) override;
    void Subscribe(const Common::Kernel::ISubscriberPtr& subscriber,
                   Common::Kernel::MessageType type) override;

    // Hands the message to the delivery thread, which calls OnMessage of every
    // subscriber of its type in subscription order. Returns at once.
    void Deliver(const Common::Kernel::IMessagePtr& message, const UserContextPtr& userContext);

    // From now on Send throws std::runtime_error(text); "" turns it off.
    void FailSendsWith(const std::string& text);

    std::vector<SentRecord> Sent() const;
    std::vector<SubscribeRecord> Subscriptions() const;
    // The subscribers of `type`, in subscription order.
    std::vector<Common::Kernel::ISubscriberPtr> SubscribersOf(
        Common::Kernel::MessageType type) const;
    // Deliveries completed (OnMessage returned or threw for every subscriber).
    std::size_t GetDeliveredCount() const;
    // what() of the exceptions OnMessage threw on the delivery thread.
    std::vector<std::string> DeliveryErrors() const;
    boost::thread::id GetDeliveryThreadId() const;

    bool WaitForSent(std::size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForDelivered(std::size_t count, std::chrono::milliseconds timeout) const;

    // Drops every subscription (the subscribers are released).
    void DropSubscriptions();

private:
    typedef std::pair<Common::Kernel::IMessagePtr, UserContextPtr> Delivery;

    void DeliveryLoop();

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;     // used with m_mutex
    std::vector<SentRecord> m_sent;                // guarded by m_mutex
    std::vector<SubscribeRecord> m_subscriptions;  // guarded by m_mutex
    std::deque<Delivery> m_pending;                // guarded by m_mutex
    std::size_t m_delivered;                       // guarded by m_mutex
    std::vector<std::string> m_deliveryErrors;     // guarded by m_mutex
    std::string m_sendFailure;                     // guarded by m_mutex
    bool m_stopping;                               // guarded by m_mutex
    boost::thread m_deliveryThread;
};

typedef boost::shared_ptr<CTestBus> CTestBusPtr;

}  // namespace Testing
}  // namespace Kol
