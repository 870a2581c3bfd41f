#include "host/mappers/CReplicatedLogsMapper.h"

#include "host/store/CCleanupConditions.h"

namespace Kol {
namespace Host {

CReplicatedLogsMapper::CReplicatedLogsMapper(const Context& context) : CStoreMapper(context) {}

void CReplicatedLogsMapper::Cleanup() {
    RunDelete("replicated-logs", "", CCleanupConditions::ReplicatedLogs());
}

}  // namespace Host
}  // namespace Kol
