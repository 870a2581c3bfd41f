#include "tests/kernel/CTestMessage.h"

#include <utility>

namespace Kol {
namespace Testing {

CTestMessage::CTestMessage(Common::Kernel::MessageType type, std::string name, int serial)
    : m_type(type), m_name(std::move(name)), m_serial(serial) {}

CTestMessage::~CTestMessage() = default;

Common::Kernel::MessageType CTestMessage::GetType() const {
    return m_type;
}

std::string CTestMessage::GetName() const {
    return m_name;
}

bool CTestMessage::Equals(const Common::Kernel::IMessage& other) const {
    if (other.GetType() != m_type) {
        return false;
    }
    const CTestMessage* message = dynamic_cast<const CTestMessage*>(&other);
    return message != nullptr && message->m_name == m_name && message->m_serial == m_serial;
}

}  // namespace Testing
}  // namespace Kol
