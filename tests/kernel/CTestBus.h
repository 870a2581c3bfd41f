#pragma once

#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/thread/thread.hpp>

#include "contracts/kernel/IBusResource.h"

namespace Kol::Testing {

// A bus that records what modules send and subscribe, and delivers messages
// to its subscribers on the thread that calls Deliver, as a kernel thread
// would. Thread-safe.
class CTestBus : public Common::Kernel::IBusResource {
public:
    typedef Common::Kernel::ISubscriber::UserContextPtr UserContextPtr;
    typedef std::pair<Common::Kernel::ISubscriberPtr, Common::Kernel::MessageType> Subscription;
    struct SentRecord {
        Common::Kernel::IMessagePtr message;
        UserContextPtr userContext;
        boost::thread::id thread;  // the thread that called Send
    };

    // Records the call, then throws std::runtime_error with the text set by
    // FailSendsWith, if any.
    bool Send(const Common::Kernel::IMessagePtr& message,
              const UserContextPtr& userContext) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sent.push_back(SentRecord{message, userContext, boost::this_thread::get_id()});
        if (!m_sendFailure.empty()) {
            throw std::runtime_error(m_sendFailure);
        }
        return true;
    }
    void Subscribe(const Common::Kernel::ISubscriberPtr& subscriber,
                   Common::Kernel::MessageType type) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_subscriptions.emplace_back(subscriber, type);
    }

    // Calls OnMessage of every subscriber of the message's type, in
    // subscription order; what OnMessage throws reaches the caller.
    void Deliver(const Common::Kernel::IMessagePtr& message, const UserContextPtr& userContext) {
        for (const Subscription& subscription : Subscriptions()) {
            if (subscription.second == message->GetType()) {
                subscription.first->OnMessage(message, userContext);
            }
        }
    }

    void FailSendsWith(const std::string& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sendFailure = text;
    }
    std::vector<SentRecord> Sent() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sent;
    }
    std::vector<Subscription> Subscriptions() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_subscriptions;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<SentRecord> m_sent;             // guarded by m_mutex
    std::vector<Subscription> m_subscriptions;  // guarded by m_mutex
    std::string m_sendFailure;                  // guarded by m_mutex
};

typedef boost::shared_ptr<CTestBus> CTestBusPtr;

}  // namespace Kol::Testing
