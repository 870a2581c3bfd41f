#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IMessage.h"
#include "framework/message/CWriteControl.h"

namespace Kol {
namespace Common {
namespace Message {

// The base of the bus messages this system builds: the bus's message
// interface joined with the read-only guard. Held through Boost shared
// pointers; handed to the bus as a pointer to IMessage once frozen.
//
// Fill on the creating thread, SetReadOnly(), then send; afterwards any
// thread may read it.
class CMessage : public Kernel::IMessage, public CWriteControl {
public:
    CMessage() = default;
    CMessage(const CMessage&) = delete;
    CMessage& operator=(const CMessage&) = delete;
    ~CMessage() override;
};

typedef boost::shared_ptr<CMessage> CMessagePtr;

}  // namespace Message
}  // namespace Common
}  // namespace Kol
