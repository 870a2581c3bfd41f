#pragma once

#include "contracts/database/ICleanupRebuildIndexesMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// Rebuilds the indexes (REINDEX) and refreshes the planner's statistics
// (ANALYZE) the store's own way (IStoreMaintenance::RebuildIndexes), one
// short step per index and per table. Removes no rows.
//
// Called on the module's processing thread; throws std::runtime_error on a
// database failure; stops between two statements when the thread is asked to
// interrupt.
class CRebuildIndexesMapper : public Common::Database::ICleanupRebuildIndexesMapper,
                              public virtual CStoreMapper {
public:
    explicit CRebuildIndexesMapper(const Context& context);

    void Cleanup() final;
};

}  // namespace Host
}  // namespace Kol
