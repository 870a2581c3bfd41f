#include "host/CStaticObjectsMapper.h"

#include "host/CBatchedDelete.h"

namespace Kol {
namespace Host {

CStaticObjectsMapper::CStaticObjectsMapper(const Context& context) : CStoreMapper(context) {}

void CStaticObjectsMapper::Cleanup() {
    RunCall("static-objects", "", [this](CRunReport::MapperCall& call) {
        CBatchedDelete::Plan plan;
        plan.table = "static_objects";
        plan.key = "id";
        plan.condition = "deleted = 1";
        const CBatchedDelete::Result result =
            CBatchedDelete(Store(), BatchRows()).Run(plan, Batches(call));
        call.rows = result.rows;
        call.interrupted = result.interrupted;
    });
}

}  // namespace Host
}  // namespace Kol
