#include "host/mappers/CRebuildIndexesMapper.h"

#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

CRebuildIndexesMapper::CRebuildIndexesMapper(const Context& context) : CStoreMapper(context) {}

void CRebuildIndexesMapper::Cleanup() {
    RunCall("indexes", "", [this](CRunReport::MapperCall& call) {
        Record(Store().Maintenance().RebuildIndexes(), call.rows, call);
    });
}

}  // namespace Host
}  // namespace Kol
