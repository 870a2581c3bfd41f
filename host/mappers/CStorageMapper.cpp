#include "host/mappers/CStorageMapper.h"

#include "host/store/CCleanupConditions.h"
#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

CStorageMapper::CStorageMapper(const Context& context) : CStoreMapper(context) {}

void CStorageMapper::Cleanup() {
    RunCall("storage", "", [this](CRunReport::MapperCall& call) {
        DeleteInBatches(CCleanupConditions::OrphanBlobs(), call);
        if (call.interrupted) {
            return;
        }
        Record(Store().Maintenance().ReleaseSpace(), call.rows, call);
    });
}

}  // namespace Host
}  // namespace Kol
