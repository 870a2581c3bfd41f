#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/MessageType.h"

namespace Kol {
namespace Common {
namespace Kernel {

// A message on the kernel bus. Messages are filled by the thread that creates
// them, frozen read-only and only read afterwards, so every const operation may
// be called from any thread once the message has been sent.
class IMessage {
public:
    virtual ~IMessage();

    // The kind of this message.
    virtual MessageType GetType() const = 0;

    // A diagnostic name (used, for instance, when a queue lists its content).
    virtual std::string GetName() const = 0;

    // False when `other` has another type; otherwise compares the fields by the
    // concrete class's own rule.
    virtual bool Equals(const IMessage& other) const = 0;
};

typedef boost::shared_ptr<IMessage> IMessagePtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
