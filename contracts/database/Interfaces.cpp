// The out-of-line destructors of the interfaces in this folder, one file for
// all of them. A class whose first non-inline virtual function is defined in
// one translation unit has its virtual table and type information emitted
// there, once, inside this shared library, instead of as weak copies in every
// library that includes the header. The host and the plug-ins then share one
// type_info per interface, which dynamic_cast and catching exceptions across
// the plug-in boundary rely on. A new interface here adds its destructor below.

#include "contracts/database/IBackupMapper.h"
#include "contracts/database/ICleanupAbandonedLogsMapper.h"
#include "contracts/database/ICleanupEventLogsMapper.h"
#include "contracts/database/ICleanupIgnoredLogsMapper.h"
#include "contracts/database/ICleanupObsoleteDeltaLogsMapper.h"
#include "contracts/database/ICleanupOldLogsMapper.h"
#include "contracts/database/ICleanupRebuildIndexesMapper.h"
#include "contracts/database/ICleanupReplicatedLogsMapper.h"
#include "contracts/database/ICleanupStaticObjectsMapper.h"
#include "contracts/database/ICleanupStorageMapper.h"
#include "contracts/database/IComputerEnrollementMapper.h"
#include "contracts/database/IMapper.h"

namespace Kol {
namespace Common {
namespace Database {

IBackupMapper::~IBackupMapper() = default;
ICleanupAbandonedLogsMapper::~ICleanupAbandonedLogsMapper() = default;
ICleanupEventLogsMapper::~ICleanupEventLogsMapper() = default;
ICleanupIgnoredLogsMapper::~ICleanupIgnoredLogsMapper() = default;
ICleanupObsoleteDeltaLogsMapper::~ICleanupObsoleteDeltaLogsMapper() = default;
ICleanupOldLogsMapper::~ICleanupOldLogsMapper() = default;
ICleanupRebuildIndexesMapper::~ICleanupRebuildIndexesMapper() = default;
ICleanupReplicatedLogsMapper::~ICleanupReplicatedLogsMapper() = default;
ICleanupStaticObjectsMapper::~ICleanupStaticObjectsMapper() = default;
ICleanupStorageMapper::~ICleanupStorageMapper() = default;
IComputerEnrollementMapper::~IComputerEnrollementMapper() = default;
IMapper::~IMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
