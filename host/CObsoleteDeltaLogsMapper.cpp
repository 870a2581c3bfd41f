#include "host/CObsoleteDeltaLogsMapper.h"

#include "host/CBatchedDelete.h"

namespace Kol {
namespace Host {

CObsoleteDeltaLogsMapper::CObsoleteDeltaLogsMapper(const Context& context)
    : CStoreMapper(context) {}

void CObsoleteDeltaLogsMapper::Cleanup() {
    RunDelete("obsolete-delta-logs", "",
              CBatchedDelete::Plan{"logs", "id", "is_delta = 1 AND superseded = 1"});
}

}  // namespace Host
}  // namespace Kol
