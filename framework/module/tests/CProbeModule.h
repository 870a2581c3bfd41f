#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "framework/module/CCommonModule.h"
#include "framework/module/CFunctionCallMessageProcessor.h"
#include "framework/module/CMessageProcessorThreadHolder.h"
#include "framework/security/CUserContext.h"
#include "tests/kernel/CTestMessage.h"

namespace Kol {
namespace Testing {

// A small serial number per thread: unlike thread ids, never reused by a
// later thread.
int ThreadSerial();

// A module of the framework with one handler, Handle, registered for
// CTestMessage under the given types through the real dispatch. Records every
// handled message with the context and thread it ran on, then runs onHandle.
// The hooks count their calls (kernel-thread only).
class CProbeModule : public Common::Module::CCommonModule {
public:
    static const char* const kName;  // "Probe"

    struct Handled {
        int serial;
        Common::Security::CUserContextPtr context;
        int threadSerial;
    };

    explicit CProbeModule(std::vector<std::int32_t> types = {2});
    ~CProbeModule() override;

    void Handle(const Common::Kernel::IMessagePtr& message);

    std::vector<Handled> HandledMessages() const;
    std::vector<int> HandledSerials() const;
    bool WaitForHandled(std::size_t count, std::chrono::milliseconds timeout) const;

    const ThreadHolderPtr& Holder() const { return GetThreadHolders().front(); }
    const Common::Module::CSubscriberPtr& Subscriber() const { return Holder()->GetSubscriber(); }

    // Set before the first message; runs on the processing thread.
    std::function<void(const CTestMessage&)> onHandle;
    int startCalls = 0;
    int stopRequestedCalls = 0;
    bool canStop = true;

protected:
    void OnInitialize(const Common::Kernel::IResourceProviderPtr& provider) override;
    void OnStart() override;
    void OnStopRequested() override;
    bool CanStop(bool force) override;

private:
    const std::vector<std::int32_t> m_types;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_handledChanged;  // used with m_mutex
    std::vector<Handled> m_handled;                    // guarded by m_mutex
};

// A one-shot barrier for handlers: Wait blocks (interruptibly, at most
// 10 seconds) until Open; Entered counts the waiters that arrived.
class CGate {
public:
    CGate() = default;
    CGate(const CGate&) = delete;
    CGate& operator=(const CGate&) = delete;

    // Returns whether the gate was opened (false on time-out).
    bool Wait();
    void Open();
    bool WaitForEntered(int count, std::chrono::milliseconds timeout);

private:
    boost::mutex m_mutex;
    boost::condition_variable m_changed;  // used with m_mutex
    bool m_open = false;                  // guarded by m_mutex
    int m_entered = 0;                    // guarded by m_mutex
};

}  // namespace Testing
}  // namespace Kol
