#pragma once

#include "contracts/database/IMapper.h"

namespace Kol {
namespace Common {
namespace Database {

// Removes event logs beyond the kept number per log type.
// Called on the cleanup module's processing thread; throws on a database
// failure (the module logs the failure and goes on with the next operation).
class ICleanupEventLogsMapper : public virtual IMapper {
public:
    ~ICleanupEventLogsMapper() override;

    virtual void Cleanup() = 0;
};

}  // namespace Database
}  // namespace Common
}  // namespace Kol
