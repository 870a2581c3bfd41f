#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IMessage.h"

namespace Kol {
namespace Common {
namespace Module {

// Receives the messages a processing thread takes from its queue.
class IMessageProcessor {
public:
    virtual ~IMessageProcessor();

    // Called only by the processing thread, one message at a time. What it
    // throws (std::exception) is logged by the thread, which goes on.
    virtual void Process(const Kernel::IMessagePtr& message) = 0;
};

typedef boost::shared_ptr<IMessageProcessor> IMessageProcessorPtr;

}  // namespace Module
}  // namespace Common
}  // namespace Kol
