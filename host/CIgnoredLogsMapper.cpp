#include "host/CIgnoredLogsMapper.h"

#include "host/CBatchedDelete.h"

namespace Kol {
namespace Host {

CIgnoredLogsMapper::CIgnoredLogsMapper(const Context& context) : CStoreMapper(context) {}

void CIgnoredLogsMapper::Cleanup() {
    RunCall("ignored-logs", "", [this](CRunReport::MapperCall& call) {
        CBatchedDelete::Plan plan;
        plan.table = "logs";
        plan.key = "id";
        plan.condition = "ignored = 1";
        const CBatchedDelete::Result result =
            CBatchedDelete(Store(), BatchRows()).Run(plan, Batches(call));
        call.rows = result.rows;
        call.interrupted = result.interrupted;
    });
}

}  // namespace Host
}  // namespace Kol
