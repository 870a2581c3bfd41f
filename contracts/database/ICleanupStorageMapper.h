#pragma once

#include "contracts/database/IMapper.h"

namespace Kol {
namespace Common {
namespace Database {

// Frees storage no longer referenced and gives it back to the file system.
// Called on the cleanup module's processing thread; throws on a database
// failure (the module logs the failure and goes on with the next operation).
class ICleanupStorageMapper : public virtual IMapper {
public:
    ~ICleanupStorageMapper() override;

    virtual void Cleanup() = 0;
};

}  // namespace Database
}  // namespace Common
}  // namespace Kol
