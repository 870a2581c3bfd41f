#include "host/CReplicatedLogsMapper.h"

#include "host/CBatchedDelete.h"

namespace Kol {
namespace Host {

CReplicatedLogsMapper::CReplicatedLogsMapper(const Context& context) : CStoreMapper(context) {}

void CReplicatedLogsMapper::Cleanup() {
    RunDelete("replicated-logs", "", CBatchedDelete::Plan{"logs", "id", "replicated = 1"});
}

}  // namespace Host
}  // namespace Kol
