#include "host/mappers/CAbandonedLogsMapper.h"

#include "host/store/CCleanupConditions.h"

namespace Kol {
namespace Host {

CAbandonedLogsMapper::CAbandonedLogsMapper(const Context& context) : CStoreMapper(context) {}

void CAbandonedLogsMapper::Cleanup() {
    RunDelete("abandoned-logs", "", CCleanupConditions::AbandonedLogs());
}

}  // namespace Host
}  // namespace Kol
