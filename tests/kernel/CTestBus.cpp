#include "tests/kernel/CTestBus.h"

#include <exception>
#include <stdexcept>

namespace Kol {
namespace Testing {

CTestBus::CTestBus()
    : m_delivered(0), m_stopping(false), m_deliveryThread(&CTestBus::DeliveryLoop, this) {}

CTestBus::~CTestBus() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_changed.notify_all();
    }
    m_deliveryThread.join();
}

bool CTestBus::Send(const Common::Kernel::IMessagePtr& message, const UserContextPtr& userContext) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sent.push_back(SentRecord{message, userContext, boost::this_thread::get_id()});
    m_changed.notify_all();
    if (!m_sendFailure.empty()) {
        throw std::runtime_error(m_sendFailure);
    }
    return true;
}

void CTestBus::Subscribe(const Common::Kernel::ISubscriberPtr& subscriber,
                         Common::Kernel::MessageType type) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_subscriptions.push_back(SubscribeRecord{subscriber, type});
}

void CTestBus::Deliver(const Common::Kernel::IMessagePtr& message,
                       const UserContextPtr& userContext) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pending.emplace_back(message, userContext);
    m_changed.notify_all();
}

void CTestBus::FailSendsWith(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sendFailure = text;
}

std::vector<CTestBus::SentRecord> CTestBus::Sent() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sent;
}

std::vector<CTestBus::SubscribeRecord> CTestBus::Subscriptions() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_subscriptions;
}

std::vector<Common::Kernel::ISubscriberPtr> CTestBus::SubscribersOf(
    Common::Kernel::MessageType type) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Common::Kernel::ISubscriberPtr> subscribers;
    for (const SubscribeRecord& record : m_subscriptions) {
        if (record.type == type) {
            subscribers.push_back(record.subscriber);
        }
    }
    return subscribers;
}

std::size_t CTestBus::GetDeliveredCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_delivered;
}

std::vector<std::string> CTestBus::DeliveryErrors() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_deliveryErrors;
}

boost::thread::id CTestBus::GetDeliveryThreadId() const {
    return m_deliveryThread.get_id();
}

bool CTestBus::WaitForSent(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_sent.size() >= count; });
}

bool CTestBus::WaitForDelivered(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_delivered >= count; });
}

void CTestBus::DropSubscriptions() {
    std::vector<SubscribeRecord> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_subscriptions);
    }
    // Released outside the lock: a subscriber's destructor may do anything.
}

void CTestBus::DeliveryLoop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_stopping || !m_pending.empty(); });
        if (m_stopping) {
            return;
        }
        const Delivery delivery = m_pending.front();
        m_pending.pop_front();
        std::vector<Common::Kernel::ISubscriberPtr> subscribers;
        for (const SubscribeRecord& record : m_subscriptions) {
            if (record.type == delivery.first->GetType()) {
                subscribers.push_back(record.subscriber);
            }
        }
        // OnMessage may start threads or send on this bus: never under the lock.
        lock.unlock();
        std::vector<std::string> errors;
        for (const Common::Kernel::ISubscriberPtr& subscriber : subscribers) {
            try {
                subscriber->OnMessage(delivery.first, delivery.second);
            } catch (const std::exception& e) {
                errors.push_back(e.what());
            }
        }
        subscribers.clear();
        lock.lock();
        m_deliveryErrors.insert(m_deliveryErrors.end(), errors.begin(), errors.end());
        ++m_delivered;
        m_changed.notify_all();
    }
}

}  // namespace Testing
}  // namespace Kol
