#pragma once

#include <cstdint>
#include <vector>

#include "contracts/message/CCleanupLogs.h"

namespace Kol {
namespace Testing {

// The three request UUIDs every test request carries, in field order.
extern const char* const kRequestUuid1;
extern const char* const kRequestUuid2;
extern const char* const kRequestUuid3;

// A frozen cleanup request with the three test UUIDs and `operations`.
Common::Message::Cleanup::CCleanupLogsPtr MakeCleanupRequest(
    const std::vector<std::int32_t>& operations = {});

}  // namespace Testing
}  // namespace Kol
