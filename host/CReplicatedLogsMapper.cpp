#include "host/CReplicatedLogsMapper.h"

#include "host/IStore.h"

namespace Kol {
namespace Host {

CReplicatedLogsMapper::CReplicatedLogsMapper(const Context& context) : CStoreMapper(context) {}

void CReplicatedLogsMapper::Cleanup() {
    RunDelete("replicated-logs", "", IStore::DeletePlan{"logs", "id", "replicated = 1"});
}

}  // namespace Host
}  // namespace Kol
