#include "contracts/logs/CLogMessageDescriptor.h"

namespace Kol {
namespace Common {
namespace Logs {

CLogMessageDescriptor::CLogMessageDescriptor(MessageType eventMessageType,
                                             MessageType deltaMessageType, LogType eventLogType,
                                             LogType deltaLogType)
    : m_eventMessageType(eventMessageType), m_deltaMessageType(deltaMessageType),
      m_eventLogType(eventLogType), m_deltaLogType(deltaLogType) {}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
