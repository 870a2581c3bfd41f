#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IMessage.h"
#include "contracts/kernel/IResource.h"
#include "contracts/kernel/ISubscriber.h"

namespace Kol {
namespace Common {
namespace Kernel {

// The kernel's message bus (resource type 1). Thread-safe.
class IBusResource : public IResource {
public:
    ~IBusResource() override;

    // Publishes `message` (already frozen read-only) on behalf of `userContext`.
    // Returns whether the bus accepted it; callers in this system ignore it.
    virtual bool Send(const IMessagePtr& message,
                      const ISubscriber::UserContextPtr& userContext) = 0;

    // After this call the bus delivers every message of `type` to `subscriber`
    // through OnMessage, on a kernel thread. The bus keeps its own reference.
    virtual void Subscribe(const ISubscriberPtr& subscriber, MessageType type) = 0;
};

typedef boost::shared_ptr<IBusResource> IBusResourcePtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
