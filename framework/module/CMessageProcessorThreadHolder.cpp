#include "framework/module/CMessageProcessorThreadHolder.h"

#include <exception>
#include <utility>

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>
#include <boost/system/error_code.hpp>
#include <boost/thread/exceptions.hpp>
#include <boost/thread/lock_guard.hpp>

#include "framework/module/CCallbackGuard.h"
#include "framework/module/LogLevel.h"
#include "framework/security/CurrentUserContext.h"

namespace Kol {
namespace Common {
namespace Module {

namespace {

void ThrowJoiningItself() {
    throw boost::thread_resource_error(
        static_cast<int>(boost::system::errc::resource_deadlock_would_occur),
        "boost thread: trying joining itself");
}

}  // namespace

CCommonModule::CMessageProcessorThreadHolder::CMessageProcessorThreadHolder(
    CCommonModule& owner, const IMessageProcessorPtr& processor)
    : m_owner(owner),
      m_processor(processor),
      m_enabled(true),
      m_guard(boost::make_shared<CCallbackGuard>()) {
    m_subscriber = boost::make_shared<CSubscriber>(
        owner.GetName(), boost::bind(&CMessageProcessorThreadHolder::RestartThread, m_guard, this));
}

CCommonModule::CMessageProcessorThreadHolder::~CMessageProcessorThreadHolder() {
    {
        boost::lock_guard<boost::mutex> guardLock(m_guard->GetMutex());
        m_guard->SetDead();
    }
    Interrupt();
    JoinThread();
}

void CCommonModule::CMessageProcessorThreadHolder::RestartThread(
    const boost::shared_ptr<CCallbackGuard>& guard, CMessageProcessorThreadHolder* holder) {
    boost::lock_guard<boost::mutex> guardLock(guard->GetMutex());
    if (!guard->IsAlive()) {
        return;
    }
    boost::lock_guard<boost::recursive_mutex> lock(holder->m_mutex);
    holder->JoinThreadLocked();
    if (holder->m_enabled) {
        // boost::thread throws boost::thread_resource_error when it cannot
        // create the thread; nothing is stored then.
        holder->m_thread.reset(new boost::thread(&CMessageProcessorThreadHolder::ProcessMessages,
                                                 holder, holder->m_subscriber,
                                                 holder->m_processor));
    }
}

void CCommonModule::CMessageProcessorThreadHolder::ProcessMessages(CSubscriberPtr subscriber,
                                                                   IMessageProcessorPtr processor) {
    for (;;) {
        try {
            boost::this_thread::interruption_point();
            Kernel::ISubscriber::QueueEntry entry;
            if (!subscriber->TakeNext(entry)) {
                return;
            }
            // The entry lets go of its context here anyway: hand it over
            // instead of copying (saves reference-count traffic per message).
            Security::SetCurrentUserContext(std::move(entry.second));
            processor->Process(entry.first);
        } catch (const boost::thread_interrupted&) {
            const std::uint64_t left = subscriber->GetQueueSize();
            if (left != 0) {
                m_owner.LogStream(Debug)
                    << "There were " << left << " messages left unprocessed in a queue";
            }
            return;
        } catch (const std::exception& e) {
            m_owner.LogError(e.what());
        } catch (...) {
            // Handlers must throw std::exception only; keep the thread alive.
            m_owner.LogError("Unknown exception while processing a message");
        }
    }
}

void CCommonModule::CMessageProcessorThreadHolder::Arm() {
    {
        boost::lock_guard<boost::recursive_mutex> lock(m_mutex);
        if (m_thread) {
            return;
        }
    }
    // The subscriber calls RestartThread, which takes the guard and then this
    // holder's lock, so neither may be held here.
    m_subscriber->Arm();
}

void CCommonModule::CMessageProcessorThreadHolder::Interrupt() {
    boost::lock_guard<boost::recursive_mutex> lock(m_mutex);
    m_enabled = false;
    if (m_thread) {
        m_thread->interrupt();
    }
}

void CCommonModule::CMessageProcessorThreadHolder::JoinThread() {
    boost::lock_guard<boost::recursive_mutex> lock(m_mutex);
    JoinThreadLocked();
}

void CCommonModule::CMessageProcessorThreadHolder::JoinThreadLocked() {
    if (!m_thread) {
        return;
    }
    if (m_thread->get_id() == boost::this_thread::get_id()) {
        ThrowJoiningItself();
    }
    m_thread->join();
    m_thread.reset();
}

bool CCommonModule::CMessageProcessorThreadHolder::StopGracefully() {
    // Held throughout so that no restart can slip in between the look at the
    // subscriber and the join; the thread itself never takes this lock.
    boost::lock_guard<boost::recursive_mutex> lock(m_mutex);
    if (!m_subscriber->PrepareGracefulStop(static_cast<bool>(m_thread))) {
        return false;
    }
    JoinThreadLocked();
    return true;
}

bool CCommonModule::CMessageProcessorThreadHolder::HasThread() const {
    boost::lock_guard<boost::recursive_mutex> lock(m_mutex);
    return static_cast<bool>(m_thread);
}

bool CCommonModule::CMessageProcessorThreadHolder::IsEnabled() const {
    boost::lock_guard<boost::recursive_mutex> lock(m_mutex);
    return m_enabled;
}

}  // namespace Module
}  // namespace Common
}  // namespace Kol
