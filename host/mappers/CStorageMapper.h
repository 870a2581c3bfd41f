#pragma once

#include "contracts/database/ICleanupStorageMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// Deletes the log blobs whose log is gone, then, when size limits are given
// (--max-size, --keep-free), the oldest logs that keep the store from fitting
// them (CSizeLimiter; a dry run only estimates them), then has the store give
// the space that deletes left back (IStoreMaintenance::ReleaseSpace). A limit
// the floor (--min-age) or the store keeps from holding is a warning of the
// call, not a failure.
//
// Called on the module's processing thread; throws std::runtime_error on a
// database failure; stops after the current batch or step when the thread is
// asked to interrupt.
class CStorageMapper : public Common::Database::ICleanupStorageMapper, public virtual CStoreMapper {
public:
    explicit CStorageMapper(const Context& context);

    void Cleanup() final;

private:
    // The size limits' part of the call: removes (or counts) and tells.
    void LimitSize(CRunReport::MapperCall& call);
};

}  // namespace Host
}  // namespace Kol
