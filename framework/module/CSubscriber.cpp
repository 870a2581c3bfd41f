#include "framework/module/CSubscriber.h"

#include <utility>

#include <boost/chrono/duration.hpp>
#include <boost/chrono/system_clocks.hpp>
#include <boost/function/function_base.hpp>
#include <boost/thread/lock_guard.hpp>

#include "framework/security/CUserContext.h"

namespace Kol {
namespace Common {
namespace Module {

namespace {

// Counts a thread as sleeping on the wake-up condition for the length of its
// wait, also when the wait ends by an interruption (the lock is held again
// by then).
class CSleeper {
public:
    explicit CSleeper(std::size_t& sleepers) : m_sleepers(sleepers) { ++m_sleepers; }
    ~CSleeper() { --m_sleepers; }
    CSleeper(const CSleeper&) = delete;
    CSleeper& operator=(const CSleeper&) = delete;

private:
    std::size_t& m_sleepers;
};

}  // namespace

CSubscriber::CSubscriber(std::string name, RestartCallback restart)
    : m_name(std::move(name)),
      m_queueSize(0),
      m_sleepers(0),
      m_stop(false),
      m_waiting(true),
      m_idleExit(true),
      m_exited(false),
      m_restart(std::move(restart)) {}

CSubscriber::~CSubscriber() = default;

void CSubscriber::OnMessage(const Kernel::IMessagePtr& message, const UserContextPtr& userContext) {
    {
        boost::lock_guard<boost::mutex> lock(m_mutex);
        m_queue.emplace_back(message, userContext);
        ++m_queueSize;
        // Notifying costs a lock inside the condition even with nobody
        // waiting; the thread is usually busy while messages stream in.
        if (m_sleepers != 0) {
            m_wakeUp.notify_one();
        }
        if (!m_exited) {
            return;
        }
        m_exited = false;
    }
    Restart();
}

bool CSubscriber::DescribeQueue(std::string& text) {
    boost::lock_guard<boost::mutex> lock(m_mutex);
    if (m_queue.empty()) {
        text.clear();
        return true;
    }
    std::string description = m_name + ":";
    bool first = true;
    for (const QueueEntry& entry : m_queue) {
        if (!first) {
            description += ",";
        }
        first = false;
        description += entry.first->GetName();
    }
    text.swap(description);
    return false;
}

void CSubscriber::ForEachQueued(const QueueVisitor& visitor) {
    boost::lock_guard<boost::mutex> lock(m_mutex);
    for (const QueueEntry& entry : m_queue) {
        visitor(entry);
    }
}

bool CSubscriber::TakeNext(QueueEntry& entry) {
    boost::unique_lock<boost::mutex> lock(m_mutex);
    m_waiting = true;
    for (;;) {
        if (m_stop) {
            m_stop = false;
            return false;
        }
        if (!m_queue.empty()) {
            break;
        }
        CSleeper sleeper(m_sleepers);
        if (!m_idleExit) {
            m_wakeUp.wait(lock);
            continue;
        }
        const boost::chrono::steady_clock::time_point deadline =
            boost::chrono::steady_clock::now() +
            boost::chrono::nanoseconds(kIdleTimeoutNanoseconds);
        if (m_wakeUp.wait_until(lock, deadline) == boost::cv_status::timeout && !m_stop &&
            m_queue.empty()) {
            m_exited = true;
            return false;
        }
    }
    entry = std::move(m_queue.front());
    m_queue.pop_front();
    --m_queueSize;
    m_waiting = false;
    return true;
}

void CSubscriber::Arm() {
    {
        boost::lock_guard<boost::mutex> lock(m_mutex);
        if (!m_idleExit) {
            return;
        }
        if (m_queue.empty()) {
            m_exited = true;
            return;
        }
        m_exited = false;
    }
    Restart();
}

void CSubscriber::Restart() {
    try {
        m_restart();
    } catch (...) {
        // No thread was started: let the next message try again instead of
        // leaving the queue without a thread for good.
        boost::lock_guard<boost::mutex> lock(m_mutex);
        m_exited = true;
        throw;
    }
}

bool CSubscriber::PrepareGracefulStop(bool hasThread) {
    boost::lock_guard<boost::mutex> lock(m_mutex);
    if (!m_queue.empty() || !m_waiting) {
        return false;
    }
    if (m_exited) {
        m_exited = false;
    } else if (hasThread) {
        // Without a thread nobody would consume the flag, and it would end the
        // next thread before its first message.
        m_stop = true;
        m_wakeUp.notify_all();
    }
    return true;
}

std::uint64_t CSubscriber::GetQueueSize() const {
    boost::lock_guard<boost::mutex> lock(m_mutex);
    return m_queueSize;
}

bool CSubscriber::IsWaiting() const {
    boost::lock_guard<boost::mutex> lock(m_mutex);
    return m_waiting;
}

bool CSubscriber::IsExited() const {
    boost::lock_guard<boost::mutex> lock(m_mutex);
    return m_exited;
}

}  // namespace Module
}  // namespace Common
}  // namespace Kol
