#include "host/mappers/CIgnoredLogsMapper.h"

#include "host/store/CCleanupConditions.h"

namespace Kol {
namespace Host {

CIgnoredLogsMapper::CIgnoredLogsMapper(const Context& context) : CStoreMapper(context) {}

void CIgnoredLogsMapper::Cleanup() {
    RunDelete("ignored-logs", "", CCleanupConditions::IgnoredLogs());
}

}  // namespace Host
}  // namespace Kol
