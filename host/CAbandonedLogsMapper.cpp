#include "host/CAbandonedLogsMapper.h"

#include "host/CBatchedDelete.h"

namespace Kol {
namespace Host {

CAbandonedLogsMapper::CAbandonedLogsMapper(const Context& context) : CStoreMapper(context) {}

void CAbandonedLogsMapper::Cleanup() {
    CBatchedDelete::Plan plan{
        "logs", "id",
        "owner_id IS NOT NULL AND NOT EXISTS (SELECT 1 FROM owners WHERE owners.id = "
        "logs.owner_id)"};
    plan.walkTable = true;
    RunDelete("abandoned-logs", "", plan);
}

}  // namespace Host
}  // namespace Kol
