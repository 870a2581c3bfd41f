#pragma once

#include <string>
#include <vector>

#include "contracts/database/ICleanupRebuildIndexesMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// Rebuilds the indexes (REINDEX) and refreshes the planner's statistics
// (ANALYZE), one short transaction per index and per table. Removes no rows.
//
// Called on the module's processing thread; throws std::runtime_error on a
// database failure; stops between two statements when the thread is asked to
// interrupt.
class CRebuildIndexesMapper : public Common::Database::ICleanupRebuildIndexesMapper,
                              public virtual CStoreMapper {
public:
    explicit CRebuildIndexesMapper(const Context& context);

    void Cleanup() final;

private:
    // The names of the schema's objects of `type`, the statistics tables left out.
    std::vector<std::string> Names(const char* type) const;
    // Runs `statement` in its own transaction; false (and nothing run) when
    // the thread is asked to interrupt.
    bool Run(const std::string& statement) const;
};

}  // namespace Host
}  // namespace Kol
