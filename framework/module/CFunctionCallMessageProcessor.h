#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/MessageType.h"
#include "framework/module/IFunctionCall.h"
#include "framework/module/IMessageProcessor.h"

namespace Kol {
namespace Common {
namespace Module {

// Dispatches each message to the handler registered for its type.
//
// Filled during the module's initialisation, before anything is subscribed,
// and only read afterwards: it takes no lock, so registering while messages
// are processed is not allowed.
class CFunctionCallMessageProcessor : public IMessageProcessor {
public:
    CFunctionCallMessageProcessor();
    ~CFunctionCallMessageProcessor() override;

    CFunctionCallMessageProcessor(const CFunctionCallMessageProcessor&) = delete;
    CFunctionCallMessageProcessor& operator=(const CFunctionCallMessageProcessor&) = delete;

    // Registers `call` for `type` unless the type already has a handler; the
    // first registration stays. Returns whether `call` was registered.
    bool RegisterFunctionCall(Kernel::MessageType type, const IFunctionCallPtr& call);

    // The registered types in ascending (signed) order.
    std::vector<std::int32_t> GetMessageTypes() const;

    // Calls the handler of the message's type. Throws std::runtime_error
    // "No function call was found for received message type" when there is
    // none; passes on what the handler throws.
    void Process(const Kernel::IMessagePtr& message) override;

private:
    std::map<std::int32_t, IFunctionCallPtr> m_calls;
};

typedef boost::shared_ptr<CFunctionCallMessageProcessor> CFunctionCallMessageProcessorPtr;

}  // namespace Module
}  // namespace Common
}  // namespace Kol
