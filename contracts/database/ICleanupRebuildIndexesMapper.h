#pragma once

#include "contracts/database/IMapper.h"

namespace Kol {
namespace Common {
namespace Database {

// Rebuilds the database's indexes and statistics.
// Called on the cleanup module's processing thread; throws on a database
// failure (the module logs the failure and goes on with the next operation).
class ICleanupRebuildIndexesMapper : public virtual IMapper {
public:
    ~ICleanupRebuildIndexesMapper() override;

    virtual void Cleanup() = 0;
};

}  // namespace Database
}  // namespace Common
}  // namespace Kol
