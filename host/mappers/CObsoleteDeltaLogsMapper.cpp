#include "host/mappers/CObsoleteDeltaLogsMapper.h"

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

CObsoleteDeltaLogsMapper::CObsoleteDeltaLogsMapper(const Context& context)
    : CStoreMapper(context) {}

void CObsoleteDeltaLogsMapper::Cleanup() {
    RunDelete("obsolete-delta-logs", "",
              IStore::DeletePlan{"logs", "is_delta = 1 AND superseded = 1"});
}

}  // namespace Host
}  // namespace Kol
