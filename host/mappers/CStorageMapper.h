#pragma once

#include "contracts/database/ICleanupStorageMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// Deletes the log blobs whose log is gone, then has the store give the space
// that deletes left back (IStoreMaintenance::ReleaseSpace).
//
// Called on the module's processing thread; throws std::runtime_error on a
// database failure; stops after the current batch or step when the thread is
// asked to interrupt.
class CStorageMapper : public Common::Database::ICleanupStorageMapper, public virtual CStoreMapper {
public:
    explicit CStorageMapper(const Context& context);

    void Cleanup() final;
};

}  // namespace Host
}  // namespace Kol
