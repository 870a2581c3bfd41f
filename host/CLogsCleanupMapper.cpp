#include "host/CLogsCleanupMapper.h"

namespace Kol {
namespace Host {

CLogsCleanupMapper::CLogsCleanupMapper(const CStoreMapper::Context& context)
    : CReplicatedLogsMapper(context),
      CObsoleteDeltaLogsMapper(context),
      CEventLogsMapper(context),
      CAbandonedLogsMapper(context),
      CIgnoredLogsMapper(context),
      CStorageMapper(context),
      COldLogsMapper(context),
      CRebuildIndexesMapper(context) {}

}  // namespace Host
}  // namespace Kol
