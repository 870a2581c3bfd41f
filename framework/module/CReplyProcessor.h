#pragma once

#include <cstdint>
#include <map>

#include <boost/chrono/system_clocks.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include "contracts/kernel/IBusResource.h"
#include "contracts/kernel/IIdGeneratorResource.h"
#include "framework/module/CResponse.h"
#include "framework/module/IMessageProcessor.h"

namespace Kol {
namespace Common {
namespace Module {

// Hands responses to the requesters waiting for them, matched by request
// identifier. Reached from processing threads and from requesters at once;
// m_mutex guards the pending map and every registered slot's response.
class CReplyProcessor : public IMessageProcessor {
public:
    // Where one requester waits for its answer. Owned by the requester, which
    // registers it, waits, and unregisters it before the slot goes away.
    struct CPendingReply {
        boost::condition_variable condition;
        CResponsePtr response;  // guarded by the processor's m_mutex
    };

    CReplyProcessor(const Kernel::IBusResourcePtr& bus,
                    const Kernel::IIdGeneratorResourcePtr& idGenerator);
    ~CReplyProcessor() override;

    CReplyProcessor(const CReplyProcessor&) = delete;
    CReplyProcessor& operator=(const CReplyProcessor&) = delete;

    // Stores the response in the slot registered for its request identifier
    // (replacing an earlier one) and wakes one waiter; a response nobody waits
    // for is dropped. Throws std::runtime_error
    // "Bad cast to Kol::Common::Module::CResponse" for any other message.
    void Process(const Kernel::IMessagePtr& message) override;

    // Registers `slot` for `requestId`; returns false (and registers nothing)
    // when the identifier is already pending. Any thread.
    bool AddPendingReply(std::uint32_t requestId, CPendingReply& slot);

    // Unregisters the slot of `requestId`, if any. Any thread.
    void RemovePendingReply(std::uint32_t requestId);

    // Waits until `slot` holds a response or `timeout` has passed on the
    // monotonic clock; returns the response, or an empty handle on time-out.
    // Interruptible (boost::thread_interrupted). `slot` must be registered.
    CResponsePtr WaitForReply(CPendingReply& slot, boost::chrono::nanoseconds timeout);

private:
    boost::mutex m_mutex;
    std::map<std::uint32_t, CPendingReply*> m_pendingReplies;  // guarded by m_mutex
    // For the requesting side (taking identifiers, sending requests), which
    // this module leaves out; kept as part of the processor's documented state.
    const Kernel::IBusResourcePtr m_bus;
    const Kernel::IIdGeneratorResourcePtr m_idGenerator;
};

typedef boost::shared_ptr<CReplyProcessor> CReplyProcessorPtr;

}  // namespace Module
}  // namespace Common
}  // namespace Kol
