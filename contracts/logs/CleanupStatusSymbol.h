#pragma once

#include <cstdint>

namespace Kol {
namespace Common {
namespace Logs {

// The symbols of the cleanup status event (log type CLEANUP_STATUS, message
// type 10368): the one definition that the log descriptor map, the module that
// sends the event and the host that records it share.
enum CleanupStatusSymbol : std::int32_t {
    CleanupStatusInstallationUuid = 2834,
    CleanupStatusLevelCode = 2836,
    CleanupStatusReportedAt = 2838,
    CleanupStatusRequestUuid1 = 2842,
    CleanupStatusRequestUuid2 = 2844,
    CleanupStatusRequestUuid3 = 2846,
    CleanupStatusResourceId = 2848,
    CleanupStatusProgressCode = 2850,
    CleanupStatusTaskResourceId = 2853,
};

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
