#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IMessage.h"

namespace Kol {
namespace Testing {

// A bus message of any type with a name and a serial number, to tell
// messages apart in queues and handlers. Immutable.
class CTestMessage : public Common::Kernel::IMessage {
public:
    CTestMessage(Common::Kernel::MessageType type, std::string name, int serial = 0);
    ~CTestMessage() override;

    Common::Kernel::MessageType GetType() const override;
    std::string GetName() const override;
    // Same type, name and serial.
    bool Equals(const Common::Kernel::IMessage& other) const override;

    int GetSerial() const { return m_serial; }

private:
    const Common::Kernel::MessageType m_type;
    const std::string m_name;
    const int m_serial;
};

typedef boost::shared_ptr<CTestMessage> CTestMessagePtr;

}  // namespace Testing
}  // namespace Kol
