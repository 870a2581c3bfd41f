#pragma once

#include "contracts/database/ICleanupObsoleteDeltaLogsMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// Deletes the delta logs that later ones superseded (is_delta = 1 AND superseded = 1).
// Called on the module's processing thread; throws std::runtime_error on a
// database failure; stops after the current batch when the thread is asked to
// interrupt.
class CObsoleteDeltaLogsMapper : public Common::Database::ICleanupObsoleteDeltaLogsMapper,
                                 public virtual CStoreMapper {
public:
    explicit CObsoleteDeltaLogsMapper(const Context& context);

    void Cleanup() final;
};

}  // namespace Host
}  // namespace Kol
