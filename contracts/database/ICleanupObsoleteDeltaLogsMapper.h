#pragma once

#include "contracts/database/IMapper.h"

namespace Kol {
namespace Common {
namespace Database {

// Removes delta logs superseded by later ones.
// Called on the cleanup module's processing thread; throws on a database
// failure (the module logs the failure and goes on with the next operation).
class ICleanupObsoleteDeltaLogsMapper : public virtual IMapper {
public:
    ~ICleanupObsoleteDeltaLogsMapper() override;

    virtual void Cleanup() = 0;
};

}  // namespace Database
}  // namespace Common
}  // namespace Kol
