#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/thread/future.hpp>
#include <boost/thread/thread.hpp>

#include "framework/module/CCommonModule.h"
#include "framework/module/CFunctionCallMessageProcessor.h"
#include "framework/module/CMessageProcessorThreadHolder.h"
#include "framework/module/CProcedureCall.h"
#include "framework/security/CUserContext.h"
#include "framework/security/CurrentUserContext.h"
#include "tests/kernel/CTestMessage.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol::Testing {

// A small serial number per thread: unlike thread ids, never reused by a
// later thread.
inline int ThreadSerial() {
    static std::atomic<int> counter{0};
    thread_local const int serial = ++counter;
    return serial;
}

// A module of the framework with one handler, Handle, registered for
// CTestMessage under the given types through the real dispatch. Records every
// handled message with the context and thread it ran on, then runs onHandle.
// The hooks count their calls (kernel-thread only).
class CProbeModule : public Common::Module::CCommonModule {
public:
    static constexpr const char* kName = "Probe";

    struct Handled {
        int serial;
        Common::Security::CUserContextPtr context;
        int threadSerial;
    };

    explicit CProbeModule(std::vector<std::int32_t> types = {2})
        : CCommonModule(kName), m_types(std::move(types)) {}

    void Handle(const Common::Kernel::IMessagePtr& message) {
        const CTestMessage& request = dynamic_cast<const CTestMessage&>(*message);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_handled.push_back(Handled{request.GetSerial(),
                                        Common::Security::GetCurrentUserContext(), ThreadSerial()});
        }
        if (onHandle) {
            onHandle(request);
        }
    }

    // `field` of every message handled so far, in handling order.
    template <typename Field>
    std::vector<Field> HandledField(Field Handled::*field) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<Field> values;
        for (const Handled& handled : m_handled) {
            values.push_back(handled.*field);
        }
        return values;
    }
    std::vector<int> HandledSerials() const { return HandledField(&Handled::serial); }
    // Waits at most kWaitBound until `count` messages were handled.
    bool WaitForHandled(std::size_t count) const {
        return WaitUntil([&] { return HandledSerials().size() >= count; });
    }

    const ThreadHolderPtr& Holder() const { return GetThreadHolders().front(); }
    const Common::Module::CSubscriberPtr& Subscriber() const { return Holder()->GetSubscriber(); }

    // Set before the first message; runs on the processing thread.
    std::function<void(const CTestMessage&)> onHandle;
    int startCalls = 0;
    int stopRequestedCalls = 0;
    bool canStop = true;

protected:
    void OnInitialize(const Common::Kernel::IResourceProviderPtr&) override {
        using namespace Common::Module;
        const auto processor = boost::make_shared<CFunctionCallMessageProcessor>();
        for (const std::int32_t type : m_types) {
            processor->RegisterFunctionCall(
                static_cast<Common::Kernel::MessageType>(type),
                boost::make_shared<CProcedureCall<CProbeModule, CTestMessage>>(
                    this, &CProbeModule::Handle));
        }
        SubscribeMessageTypes(processor->GetMessageTypes(), processor);
    }
    void OnStart() override { ++startCalls; }
    void OnStopRequested() override { ++stopRequestedCalls; }
    bool CanStop(bool) override { return canStop; }

private:
    const std::vector<std::int32_t> m_types;
    mutable std::mutex m_mutex;
    std::vector<Handled> m_handled;  // guarded by m_mutex
};

// A one-shot barrier for handlers: Wait blocks (interruptibly, at most
// 10 seconds) until Open and returns whether it was opened.
class CGate {
public:
    bool Wait() {
        return m_opened.wait_for(boost::chrono::seconds(10)) == boost::future_status::ready;
    }
    void Open() { m_open.set_value(); }

private:
    boost::promise<void> m_open;
    boost::shared_future<void> m_opened = m_open.get_future().share();
};

}  // namespace Kol::Testing
