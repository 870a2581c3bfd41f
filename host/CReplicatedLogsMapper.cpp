#include "host/CReplicatedLogsMapper.h"

#include "host/CBatchedDelete.h"

namespace Kol {
namespace Host {

CReplicatedLogsMapper::CReplicatedLogsMapper(const Context& context) : CStoreMapper(context) {}

void CReplicatedLogsMapper::Cleanup() {
    RunCall("replicated-logs", "", [this](CRunReport::MapperCall& call) {
        CBatchedDelete::Plan plan;
        plan.table = "logs";
        plan.key = "id";
        plan.condition = "replicated = 1";
        const CBatchedDelete::Result result =
            CBatchedDelete(Store(), BatchRows()).Run(plan, Batches(call));
        call.rows = result.rows;
        call.interrupted = result.interrupted;
    });
}

}  // namespace Host
}  // namespace Kol
