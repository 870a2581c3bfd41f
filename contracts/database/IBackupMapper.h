#pragma once

#include "contracts/database/IMapper.h"

namespace Kol {
namespace Common {
namespace Database {

// Writes a verified backup copy of the database.
// Called on the cleanup module's processing thread; throws on a database
// failure (the module logs the failure and goes on with the next operation).
class IBackupMapper : public virtual IMapper {
public:
    ~IBackupMapper() override;

    virtual void Backup() = 0;
};

}  // namespace Database
}  // namespace Common
}  // namespace Kol
