#pragma once

#include <boost/scoped_ptr.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/thread.hpp>

#include "framework/module/CCommonModule.h"
#include "framework/module/CSubscriber.h"
#include "framework/module/IMessageProcessor.h"

namespace Kol {
namespace Common {
namespace Module {

// Owns the processing thread of one message processor and its subscriber.
// The thread is started on demand (first message, or Start with messages
// queued), takes the subscriber's entries one at a time under each sender's
// user context, and leaves after 5 seconds without work.
//
// m_mutex (recursive) guards the thread object and the enabled flag. Called
// from the kernel's threads (Start, Stop, OnMessage through the restart
// callback) and destroyed by the module's destructor.
class CCommonModule::CMessageProcessorThreadHolder {
public:
    class CCallbackGuard;

    // Creates the guard and the subscriber (named after the owner) whose
    // restart callback is RestartThread(guard, this). Starts no thread.
    // `owner` must outlive the holder; its logger serves the thread's lines.
    CMessageProcessorThreadHolder(CCommonModule& owner, const IMessageProcessorPtr& processor);

    // Marks the guard dead, disables the holder, interrupts the thread and
    // joins it. The subscriber lives on while the bus holds it; messages it
    // receives afterwards are queued and start nothing. Must not run on the
    // processing thread (std::terminate through the self-join error).
    ~CMessageProcessorThreadHolder();

    CMessageProcessorThreadHolder(const CMessageProcessorThreadHolder&) = delete;
    CMessageProcessorThreadHolder& operator=(const CMessageProcessorThreadHolder&) = delete;

    // The restart callback: joins and deletes an ended thread and, while the
    // holder is enabled, starts a new one. Does nothing once the guard is dead.
    // Throws boost::thread_resource_error "boost thread: trying joining itself"
    // on the processing thread itself, or when no thread can be created.
    static void RestartThread(const boost::shared_ptr<CCallbackGuard>& guard,
                              CMessageProcessorThreadHolder* holder);

    // The thread body: takes and processes entries until stopped, idle for
    // 5 seconds, or interrupted (then logs how many entries it left behind).
    void ProcessMessages(CSubscriberPtr subscriber, IMessageProcessorPtr processor);

    // Start: unless a thread object exists, lets the subscriber start a thread
    // for queued work now, or for the next message.
    void Arm();

    // Forced stop, first half: disables the holder and asks the thread to
    // interrupt.
    void Interrupt();

    // Joins and deletes the thread, if any. Throws
    // boost::thread_resource_error "boost thread: trying joining itself" on
    // the processing thread itself.
    void JoinThread();

    // Graceful stop: false when busy; otherwise makes the thread leave, joins
    // it and returns true.
    bool StopGracefully();

    const CSubscriberPtr& GetSubscriber() const { return m_subscriber; }
    // Whether a thread object exists (running, or ended and not yet joined).
    bool HasThread() const;
    bool IsEnabled() const;

private:
    // Requires m_mutex.
    void JoinThreadLocked();

    CCommonModule& m_owner;
    const IMessageProcessorPtr m_processor;
    CSubscriberPtr m_subscriber;
    boost::scoped_ptr<boost::thread> m_thread;  // guarded by m_mutex
    mutable boost::recursive_mutex m_mutex;
    bool m_enabled;  // guarded by m_mutex
    boost::shared_ptr<CCallbackGuard> m_guard;
};

}  // namespace Module
}  // namespace Common
}  // namespace Kol
