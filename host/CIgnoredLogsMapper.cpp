#include "host/CIgnoredLogsMapper.h"

#include "host/CBatchedDelete.h"

namespace Kol {
namespace Host {

CIgnoredLogsMapper::CIgnoredLogsMapper(const Context& context) : CStoreMapper(context) {}

void CIgnoredLogsMapper::Cleanup() {
    RunDelete("ignored-logs", "", CBatchedDelete::Plan{"logs", "id", "ignored = 1"});
}

}  // namespace Host
}  // namespace Kol
