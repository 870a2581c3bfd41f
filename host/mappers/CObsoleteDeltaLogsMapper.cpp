#include "host/mappers/CObsoleteDeltaLogsMapper.h"

#include "host/store/CCleanupConditions.h"

namespace Kol {
namespace Host {

CObsoleteDeltaLogsMapper::CObsoleteDeltaLogsMapper(const Context& context)
    : CStoreMapper(context) {}

void CObsoleteDeltaLogsMapper::Cleanup() {
    RunDelete("obsolete-delta-logs", "", CCleanupConditions::ObsoleteDeltaLogs());
}

}  // namespace Host
}  // namespace Kol
