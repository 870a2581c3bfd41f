#include "host/mappers/CAbandonedLogsMapper.h"

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

CAbandonedLogsMapper::CAbandonedLogsMapper(const Context& context) : CStoreMapper(context) {}

void CAbandonedLogsMapper::Cleanup() {
    IStore::DeletePlan plan{
        "logs", "id",
        "owner_id IS NOT NULL AND NOT EXISTS (SELECT 1 FROM owners WHERE owners.id = "
        "logs.owner_id)"};
    plan.walkTable = true;
    RunDelete("abandoned-logs", "", plan);
}

}  // namespace Host
}  // namespace Kol
