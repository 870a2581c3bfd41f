#include "host/CAbandonedLogsMapper.h"

#include "host/CBatchedDelete.h"

namespace Kol {
namespace Host {

CAbandonedLogsMapper::CAbandonedLogsMapper(const Context& context) : CStoreMapper(context) {}

void CAbandonedLogsMapper::Cleanup() {
    RunCall("abandoned-logs", "", [this](CRunReport::MapperCall& call) {
        CBatchedDelete::Plan plan;
        plan.table = "logs";
        plan.key = "id";
        plan.condition =
            "owner_id IS NOT NULL AND NOT EXISTS (SELECT 1 FROM owners WHERE owners.id = "
            "logs.owner_id)";
        plan.walkTable = true;
        const CBatchedDelete::Result result =
            CBatchedDelete(Store(), BatchRows()).Run(plan, Batches(call));
        call.rows = result.rows;
        call.interrupted = result.interrupted;
    });
}

}  // namespace Host
}  // namespace Kol
