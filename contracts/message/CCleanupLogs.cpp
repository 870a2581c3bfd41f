#include "contracts/message/CCleanupLogs.h"

#include <stdexcept>

namespace Kol {
namespace Common {
namespace Message {
namespace Cleanup {

CCleanupLogs::CCleanupLogs() : m_readOnly(false) {}

CCleanupLogs::~CCleanupLogs() = default;

Kernel::MessageType CCleanupLogs::GetType() const {
    return Kernel::MessageTypeCleanupLogs;
}

std::string CCleanupLogs::GetName() const {
    return "CleanupLogs";
}

bool CCleanupLogs::Equals(const Kernel::IMessage& other) const {
    if (other.GetType() != GetType()) {
        return false;
    }
    const CCleanupLogs* request = dynamic_cast<const CCleanupLogs*>(&other);
    return request != nullptr && request->m_firstRequestUuid.uuid() == m_firstRequestUuid.uuid() &&
           request->m_secondRequestUuid.uuid() == m_secondRequestUuid.uuid() &&
           request->m_thirdRequestUuid.uuid() == m_thirdRequestUuid.uuid() &&
           request->m_operations == m_operations;
}

void CCleanupLogs::CheckWritable() const {
    if (m_readOnly) {
        throw std::runtime_error("Message is read only");
    }
}

void CCleanupLogs::SetFirstRequestUuid(const Uuid& value) {
    CheckWritable();
    m_firstRequestUuid = value;
}

void CCleanupLogs::SetSecondRequestUuid(const Uuid& value) {
    CheckWritable();
    m_secondRequestUuid = value;
}

void CCleanupLogs::SetThirdRequestUuid(const Uuid& value) {
    CheckWritable();
    m_thirdRequestUuid = value;
}

void CCleanupLogs::SetOperations(const std::vector<std::int32_t>& operations) {
    CheckWritable();
    m_operations = operations;
}

void CCleanupLogs::AddOperation(std::int32_t operation) {
    CheckWritable();
    m_operations.push_back(operation);
}

}  // namespace Cleanup
}  // namespace Message
}  // namespace Common
}  // namespace Kol
