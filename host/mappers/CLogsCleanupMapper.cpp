#include "host/mappers/CLogsCleanupMapper.h"

namespace Kol {
namespace Host {

CLogsCleanupMapper::CLogsCleanupMapper(const CStoreMapper::Context& context)
    // CStoreMapper is a virtual base: this one context serves all eight parts.
    : CStoreMapper(context),
      CReplicatedLogsMapper(context),
      CObsoleteDeltaLogsMapper(context),
      CEventLogsMapper(context),
      CAbandonedLogsMapper(context),
      CIgnoredLogsMapper(context),
      CStorageMapper(context),
      COldLogsMapper(context),
      CRebuildIndexesMapper(context) {}

}  // namespace Host
}  // namespace Kol
