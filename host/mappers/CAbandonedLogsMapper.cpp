#include "host/mappers/CAbandonedLogsMapper.h"

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

CAbandonedLogsMapper::CAbandonedLogsMapper(const Context& context) : CStoreMapper(context) {}

void CAbandonedLogsMapper::Cleanup() {
    RunDelete("abandoned-logs", "",
              IStore::DeletePlan{"logs",
                                 "owner_id IS NOT NULL AND NOT EXISTS (SELECT 1 FROM owners WHERE "
                                 "owners.id = logs.owner_id)"});
}

}  // namespace Host
}  // namespace Kol
