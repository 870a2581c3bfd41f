#pragma once

#include <cstdint>

namespace Kol {
namespace Common {
namespace Kernel {

// The kind of a bus message. A 32-bit signed enumeration: any 32-bit value may
// travel on the bus; the named ones are those this system produces or handles.
// Printed in message texts as a signed decimal integer.
enum MessageType : std::int32_t {
    MessageTypeCleanupLogs = 2,
    MessageTypeCleanupStatusEvent = 10368,
    MessageTypeCleanupStatusDelta = 10369,
    MessageTypeServiceStateEvent = 10370,
    MessageTypeServiceStateDelta = 10371,
    MessageTypeSoftwareInventoryEvent = 10372,
    MessageTypeSoftwareInventoryDelta = 10373,
    MessageTypeCleanupRequestEvent = 10374,
    MessageTypeCleanupRequestDelta = 10375,
};

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
