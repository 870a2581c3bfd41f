#include "host/CIgnoredLogsMapper.h"

#include "host/IStore.h"

namespace Kol {
namespace Host {

CIgnoredLogsMapper::CIgnoredLogsMapper(const Context& context) : CStoreMapper(context) {}

void CIgnoredLogsMapper::Cleanup() {
    RunDelete("ignored-logs", "", IStore::DeletePlan{"logs", "id", "ignored = 1"});
}

}  // namespace Host
}  // namespace Kol
