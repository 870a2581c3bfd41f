#include "host/CObsoleteDeltaLogsMapper.h"

#include "host/CBatchedDelete.h"

namespace Kol {
namespace Host {

CObsoleteDeltaLogsMapper::CObsoleteDeltaLogsMapper(const Context& context)
    : CStoreMapper(context) {}

void CObsoleteDeltaLogsMapper::Cleanup() {
    RunCall("obsolete-delta-logs", "", [this](CRunReport::MapperCall& call) {
        CBatchedDelete::Plan plan;
        plan.table = "logs";
        plan.key = "id";
        plan.condition = "is_delta = 1 AND superseded = 1";
        const CBatchedDelete::Result result =
            CBatchedDelete(Store(), BatchRows()).Run(plan, Batches(call));
        call.rows = result.rows;
        call.interrupted = result.interrupted;
    });
}

}  // namespace Host
}  // namespace Kol
