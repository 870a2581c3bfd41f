#pragma once

#include "host/mappers/CAbandonedLogsMapper.h"
#include "host/mappers/CEventLogsMapper.h"
#include "host/mappers/CIgnoredLogsMapper.h"
#include "host/mappers/CObsoleteDeltaLogsMapper.h"
#include "host/mappers/COldLogsMapper.h"
#include "host/mappers/CRebuildIndexesMapper.h"
#include "host/mappers/CReplicatedLogsMapper.h"
#include "host/mappers/CStorageMapper.h"

namespace Kol {
namespace Host {

// The mapper of id 21: one object that answers the module's eight log and
// storage jobs. Several of their interfaces declare the same Cleanup(); each
// part overrides its own interface's Cleanup() in its own base, so one object
// can carry them all behind a single IMapper (a virtual base of every
// interface), and one store context (CStoreMapper, a virtual base of every
// part).
class CLogsCleanupMapper : public CReplicatedLogsMapper,
                           public CObsoleteDeltaLogsMapper,
                           public CEventLogsMapper,
                           public CAbandonedLogsMapper,
                           public CIgnoredLogsMapper,
                           public CStorageMapper,
                           public COldLogsMapper,
                           public CRebuildIndexesMapper {
public:
    explicit CLogsCleanupMapper(const CStoreMapper::Context& context);
};

}  // namespace Host
}  // namespace Kol
