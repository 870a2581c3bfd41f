#pragma once

#include "contracts/database/ICleanupReplicatedLogsMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// Deletes the logs already replicated to the server (replicated = 1).
// Called on the module's processing thread; throws std::runtime_error on a
// database failure; stops after the current batch when the thread is asked to
// interrupt.
class CReplicatedLogsMapper : public Common::Database::ICleanupReplicatedLogsMapper,
                              public virtual CStoreMapper {
public:
    explicit CReplicatedLogsMapper(const Context& context);

    void Cleanup() final;
};

}  // namespace Host
}  // namespace Kol
