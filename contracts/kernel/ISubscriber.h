#pragma once

#include <string>
#include <utility>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IMessage.h"

namespace Kol {
namespace Common {
namespace Security {
class CUserContext;
}  // namespace Security

namespace Kernel {

// A receiver of bus messages. The bus calls every operation on its own threads,
// possibly several at once; implementations must be thread-safe.
class ISubscriber {
public:
    typedef boost::shared_ptr<Security::CUserContext> UserContextPtr;
    // One queued message with the user context of its sender.
    typedef std::pair<IMessagePtr, UserContextPtr> QueueEntry;
    typedef boost::function<void(const QueueEntry&)> QueueVisitor;

    virtual ~ISubscriber();

    // Delivers one message with the sender's user context. Must not block for
    // long: the subscriber queues the message and returns.
    virtual void OnMessage(const IMessagePtr& message, const UserContextPtr& userContext) = 0;

    // Describes the queued messages for diagnostics. Returns true and sets
    // `text` to "" when nothing is queued; otherwise returns false.
    virtual bool DescribeQueue(std::string& text) = 0;

    // Calls `visitor` once per queued entry, in queue order.
    virtual void ForEachQueued(const QueueVisitor& visitor) = 0;
};

typedef boost::shared_ptr<ISubscriber> ISubscriberPtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
