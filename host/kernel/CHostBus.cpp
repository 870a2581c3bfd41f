#include "host/kernel/CHostBus.h"

#include <stdexcept>
#include <vector>

#include <boost/make_shared.hpp>

namespace Kol {
namespace Host {

CHostBus::CHostBus(const SendObserver& observer) : m_observer(observer), m_stopping(false) {
    m_thread = std::thread(&CHostBus::Run, this);
}

CHostBus::~CHostBus() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool CHostBus::Send(const Common::Kernel::IMessagePtr& message, const UserContextPtr& userContext) {
    if (m_observer) {
        m_observer(message, userContext);
    }
    return true;
}

void CHostBus::Subscribe(const Common::Kernel::ISubscriberPtr& subscriber,
                         Common::Kernel::MessageType type) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_subscribers.emplace(type, subscriber);
}

std::size_t CHostBus::CountSubscribers(Common::Kernel::MessageType type) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_subscribers.count(type);
}

std::size_t CHostBus::Deliver(const Common::Kernel::IMessagePtr& message,
                              const UserContextPtr& userContext,
                              std::chrono::milliseconds timeout) {
    const auto delivery = boost::make_shared<Delivery>();
    delivery->message = message;
    delivery->userContext = userContext;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_queue.push_back(delivery);
    m_changed.notify_all();
    if (!m_changed.wait_for(lock, timeout, [&] { return delivery->done; })) {
        throw std::runtime_error("the bus could not deliver " + message->GetName() + " within " +
                                 std::to_string(timeout.count()) + " ms");
    }
    if (delivery->error) {
        std::rethrow_exception(delivery->error);
    }
    return delivery->reached;
}

void CHostBus::DropSubscribers() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_subscribers.clear();
}

void CHostBus::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping) {
            return;
        }
        const boost::shared_ptr<Delivery> delivery = m_queue.front();
        m_queue.pop_front();
        std::vector<Common::Kernel::ISubscriberPtr> receivers;
        const auto range = m_subscribers.equal_range(delivery->message->GetType());
        for (auto it = range.first; it != range.second; ++it) {
            receivers.push_back(it->second);
        }
        lock.unlock();
        std::size_t reached = 0;
        std::exception_ptr error;
        try {
            for (const Common::Kernel::ISubscriberPtr& receiver : receivers) {
                receiver->OnMessage(delivery->message, delivery->userContext);
                ++reached;
            }
        } catch (...) {
            error = std::current_exception();
        }
        receivers.clear();
        lock.lock();
        delivery->reached = reached;
        delivery->error = error;
        delivery->done = true;
        m_changed.notify_all();
    }
}

}  // namespace Host
}  // namespace Kol
