#include "host/mappers/CStorageMapper.h"

#include "host/store/IStore.h"
#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

CStorageMapper::CStorageMapper(const Context& context) : CStoreMapper(context) {}

void CStorageMapper::Cleanup() {
    RunCall("storage", "", [this](CRunReport::MapperCall& call) {
        DeleteInBatches(IStore::DeletePlan{"log_blobs",
                                           "NOT EXISTS (SELECT 1 FROM logs WHERE "
                                           "logs.id = log_blobs.log_id)"},
                        call);
        if (call.interrupted) {
            return;
        }
        Record(Store().Maintenance().ReleaseSpace(), call.rows, call);
    });
}

}  // namespace Host
}  // namespace Kol
