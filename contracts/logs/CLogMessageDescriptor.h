#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/datadefinition/Logs.pb.h"
#include "contracts/kernel/MessageType.h"

namespace Kol {
namespace Common {
namespace Logs {

// Ties a log's two message types (event and delta) to its two log types.
// Immutable.
class CLogMessageDescriptor {
public:
    typedef DataDefinition::Logs::LogType LogType;
    typedef Kernel::MessageType MessageType;

    CLogMessageDescriptor(MessageType eventMessageType, MessageType deltaMessageType,
                          LogType eventLogType, LogType deltaLogType);

    MessageType GetEventMessageType() const { return m_eventMessageType; }
    MessageType GetDeltaMessageType() const { return m_deltaMessageType; }
    LogType GetEventLogType() const { return m_eventLogType; }
    LogType GetDeltaLogType() const { return m_deltaLogType; }

    // True when `type` is this log's delta message type.
    bool IsDelta(MessageType type) const { return type == m_deltaMessageType; }

    // The delta log type for the delta message type, else the event log type.
    LogType GetLogType(MessageType type) const {
        return IsDelta(type) ? m_deltaLogType : m_eventLogType;
    }

private:
    MessageType m_eventMessageType;
    MessageType m_deltaMessageType;
    LogType m_eventLogType;
    LogType m_deltaLogType;
};

typedef boost::shared_ptr<const CLogMessageDescriptor> CLogMessageDescriptorPtr;

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
