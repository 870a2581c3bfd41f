#pragma once

#include <string>
#include <utility>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IMessage.h"

namespace Kol::Testing {

// A bus message of any type with a name and a serial number, to tell
// messages apart in queues and handlers. Immutable.
class CTestMessage : public Common::Kernel::IMessage {
public:
    CTestMessage(std::int32_t type, std::string name, int serial = 0)
        : m_type(static_cast<Common::Kernel::MessageType>(type)),
          m_name(std::move(name)),
          m_serial(serial) {}

    Common::Kernel::MessageType GetType() const override { return m_type; }
    std::string GetName() const override { return m_name; }
    bool Equals(const Common::Kernel::IMessage& other) const override { return &other == this; }

    int GetSerial() const { return m_serial; }

private:
    const Common::Kernel::MessageType m_type;
    const std::string m_name;
    const int m_serial;
};

typedef boost::shared_ptr<CTestMessage> CTestMessagePtr;

}  // namespace Kol::Testing
