#pragma once

#include <boost/shared_ptr.hpp>

#include "framework/message/CMessage.h"

namespace Kol {
namespace Common {
namespace Message {

// The base of log messages: a message whose content can be checked against
// its type. Same threading rules as CMessage.
class CLogMessage : public CMessage {
public:
    CLogMessage() = default;
    ~CLogMessage() override;

    // Returns when the content conforms to the message type; otherwise throws
    // an exception derived from std::exception that says what is wrong.
    virtual void Validate() const = 0;

    // Validate() turned into a verdict: false when it throws anything derived
    // from std::exception. Other exceptions pass through unchanged.
    virtual bool IsValid() const;
};

typedef boost::shared_ptr<CLogMessage> CLogMessagePtr;

}  // namespace Message
}  // namespace Common
}  // namespace Kol
