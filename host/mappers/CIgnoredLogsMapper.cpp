#include "host/mappers/CIgnoredLogsMapper.h"

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

CIgnoredLogsMapper::CIgnoredLogsMapper(const Context& context) : CStoreMapper(context) {}

void CIgnoredLogsMapper::Cleanup() {
    RunDelete("ignored-logs", "", IStore::DeletePlan{"logs", "ignored = 1"});
}

}  // namespace Host
}  // namespace Kol
