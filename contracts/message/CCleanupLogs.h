#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "contracts/datadefinition/Common.pb.h"
#include "contracts/kernel/IMessage.h"

namespace Kol {
namespace Common {
namespace Message {
namespace Cleanup {

// The cleanup request (message type 2): three UUIDs that identify the request
// on the server and the operations to run (CleanupLogsOperations values; any
// 32-bit value may be listed and is passed on unchanged).
//
// Filled by its sender, frozen with SetReadOnly, then sent; afterwards it is
// only read, from any thread. Every setter throws std::runtime_error
// "Message is read only" once the message is frozen, and changes nothing.
class CCleanupLogs : public Kernel::IMessage {
public:
    typedef DataDefinition::Common::Uuid Uuid;

    CCleanupLogs();
    ~CCleanupLogs() override;

    Kernel::MessageType GetType() const override;  // 2
    std::string GetName() const override;          // "CleanupLogs"
    // True for another CCleanupLogs with the same UUID texts and operations.
    bool Equals(const Kernel::IMessage& other) const override;

    const Uuid& GetFirstRequestUuid() const { return m_firstRequestUuid; }
    const Uuid& GetSecondRequestUuid() const { return m_secondRequestUuid; }
    const Uuid& GetThirdRequestUuid() const { return m_thirdRequestUuid; }
    const std::vector<std::int32_t>& GetOperations() const { return m_operations; }

    void SetFirstRequestUuid(const Uuid& value);
    void SetSecondRequestUuid(const Uuid& value);
    void SetThirdRequestUuid(const Uuid& value);
    void SetOperations(const std::vector<std::int32_t>& operations);
    void AddOperation(std::int32_t operation);

    bool IsReadOnly() const { return m_readOnly; }
    void SetReadOnly() { m_readOnly = true; }

private:
    void CheckWritable() const;

    bool m_readOnly;
    Uuid m_firstRequestUuid;
    Uuid m_secondRequestUuid;
    Uuid m_thirdRequestUuid;
    std::vector<std::int32_t> m_operations;
};

typedef boost::shared_ptr<CCleanupLogs> CCleanupLogsPtr;

}  // namespace Cleanup
}  // namespace Message
}  // namespace Common
}  // namespace Kol
