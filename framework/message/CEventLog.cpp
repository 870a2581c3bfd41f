#include "framework/message/CEventLog.h"

#include <stdexcept>

#include <boost/make_shared.hpp>

#include "contracts/datadefinition/Logs.pb.h"
#include "contracts/logs/CLogDescriptorMap.h"
#include "contracts/logs/CSymbolContainerValidator.h"
#include "framework/logs/CSymbolContainer.h"

namespace Kol {
namespace Common {
namespace Message {
namespace Logs {

namespace {

using Common::Logs::CLogDescriptorMap;
using Common::Logs::CLogMessageDescriptorPtr;

CLogMessageDescriptorPtr DescriptorOf(Kernel::MessageType type) {
    return CLogDescriptorMap::Instance().GetMessageDescriptor(type);
}

}  // namespace

CEventLog::CEventLog(Kernel::MessageType type)
    : m_type(type),
      m_symbols(boost::make_shared<Common::Logs::CSymbolContainer>()),
      m_secondSymbols(boost::make_shared<Common::Logs::CSymbolContainer>()),
      m_flag(true),
      m_number(-1) {
    const CLogMessageDescriptorPtr descriptor = DescriptorOf(type);
    if (type != descriptor->GetEventMessageType() && type != descriptor->GetDeltaMessageType()) {
        throw std::runtime_error("CEventLog: Message type " +
                                 std::to_string(static_cast<std::int32_t>(type)) +
                                 " is not event or delta log");
    }
}

CEventLog::~CEventLog() = default;

Kernel::MessageType CEventLog::GetType() const {
    return m_type;
}

std::string CEventLog::GetName() const {
    const CLogMessageDescriptorPtr descriptor = DescriptorOf(GetType());
    const DataDefinition::Logs::LogType logType = descriptor->IsDelta(GetType())
                                                      ? descriptor->GetDeltaLogType()
                                                      : descriptor->GetEventLogType();
    return "EventLog_" + DataDefinition::Logs::LogType_Name(logType);
}

bool CEventLog::Equals(const Kernel::IMessage& other) const {
    if (other.GetType() != GetType()) {
        return false;
    }
    const CEventLog* that = dynamic_cast<const CEventLog*>(&other);
    if (that == nullptr) {
        return false;
    }
    return m_symbols->Equals(*that->m_symbols) && m_secondSymbols->Equals(*that->m_secondSymbols);
}

void CEventLog::Validate() const {
    const CLogMessageDescriptorPtr descriptor = DescriptorOf(GetType());
    Common::Logs::CSymbolContainerValidator::ValidateSymbolContainer(
        *m_symbols, *descriptor, descriptor->GetLogType(GetType()));
}

void CEventLog::SetReadOnly() {
    CLogMessage::SetReadOnly();
    m_symbols->Lock();
    m_secondSymbols->Lock();
}

Common::Logs::ISymbolContainerPtr CEventLog::GetSymbols() const {
    return m_symbols;
}

Common::Logs::ISymbolContainerPtr CEventLog::GetSecondSymbols() const {
    return m_secondSymbols;
}

void CEventLog::SetSymbols(const Common::Logs::ISymbolContainerPtr& symbols) {
    CheckWritable();
    if (!symbols) {
        throw std::invalid_argument("CEventLog: symbol container must not be null");
    }
    m_symbols = symbols;
}

void CEventLog::SetSecondSymbols(const Common::Logs::ISymbolContainerPtr& symbols) {
    CheckWritable();
    if (!symbols) {
        throw std::invalid_argument("CEventLog: symbol container must not be null");
    }
    m_secondSymbols = symbols;
}

}  // namespace Logs
}  // namespace Message
}  // namespace Common
}  // namespace Kol
