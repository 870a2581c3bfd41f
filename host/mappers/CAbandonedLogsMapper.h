#pragma once

#include "contracts/database/ICleanupAbandonedLogsMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// Deletes the logs whose owner is gone: owner_id is set and names no row of
// owners. Called on the module's processing thread; throws std::runtime_error
// on a database failure; stops after the current batch when the thread is
// asked to interrupt.
class CAbandonedLogsMapper : public Common::Database::ICleanupAbandonedLogsMapper,
                             public virtual CStoreMapper {
public:
    explicit CAbandonedLogsMapper(const Context& context);

    void Cleanup() final;
};

}  // namespace Host
}  // namespace Kol
