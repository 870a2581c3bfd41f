#pragma once

#include "contracts/database/IMapper.h"

namespace Kol {
namespace Common {
namespace Database {

// Removes logs marked as ignored.
// Called on the cleanup module's processing thread; throws on a database
// failure (the module logs the failure and goes on with the next operation).
class ICleanupIgnoredLogsMapper : public virtual IMapper {
public:
    ~ICleanupIgnoredLogsMapper() override;

    virtual void Cleanup() = 0;
};

}  // namespace Database
}  // namespace Common
}  // namespace Kol
