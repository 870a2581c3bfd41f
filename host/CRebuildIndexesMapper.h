#pragma once

#include "contracts/database/ICleanupRebuildIndexesMapper.h"
#include "host/CStoreMapper.h"

namespace Kol {
namespace Host {

// Rebuilds the indexes (REINDEX, one transaction per table) and refreshes the
// planner's statistics (ANALYZE). Removes no rows.
//
// Called on the module's processing thread; throws std::runtime_error on a
// database failure; stops between tables when the thread is asked to
// interrupt.
class CRebuildIndexesMapper : public Common::Database::ICleanupRebuildIndexesMapper,
                              public CStoreMapper {
public:
    explicit CRebuildIndexesMapper(const Context& context);

    void Cleanup() final;
};

}  // namespace Host
}  // namespace Kol
