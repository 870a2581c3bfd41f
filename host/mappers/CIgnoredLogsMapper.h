#pragma once

#include "contracts/database/ICleanupIgnoredLogsMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// Deletes the logs marked as ignored (ignored = 1).
// Called on the module's processing thread; throws std::runtime_error on a
// database failure; stops after the current batch when the thread is asked to
// interrupt.
class CIgnoredLogsMapper : public Common::Database::ICleanupIgnoredLogsMapper,
                           public virtual CStoreMapper {
public:
    explicit CIgnoredLogsMapper(const Context& context);

    void Cleanup() final;
};

}  // namespace Host
}  // namespace Kol
