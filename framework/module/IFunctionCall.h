#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IMessage.h"

namespace Kol {
namespace Common {
namespace Module {

// A handler registered for one message type.
class IFunctionCall {
public:
    virtual ~IFunctionCall();

    // Handles `message`; called on the processing thread only.
    virtual void Call(const Kernel::IMessagePtr& message) = 0;
};

typedef boost::shared_ptr<IFunctionCall> IFunctionCallPtr;

}  // namespace Module
}  // namespace Common
}  // namespace Kol
