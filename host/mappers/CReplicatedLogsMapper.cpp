#include "host/mappers/CReplicatedLogsMapper.h"

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

CReplicatedLogsMapper::CReplicatedLogsMapper(const Context& context) : CStoreMapper(context) {}

void CReplicatedLogsMapper::Cleanup() {
    RunDelete("replicated-logs", "", IStore::DeletePlan{"logs", "replicated = 1"});
}

}  // namespace Host
}  // namespace Kol
