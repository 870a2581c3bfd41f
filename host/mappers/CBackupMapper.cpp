#include "host/mappers/CBackupMapper.h"

#include <string>

#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

CBackupMapper::CBackupMapper(const Context& context) : CStoreMapper(context) {}

void CBackupMapper::Backup() {
    RunCall("backup", "to " + Store().GetBackupPath(), [this](CRunReport::MapperCall& call) {
        Record(Store().Maintenance().Backup(), call.rows, call);
    });
}

}  // namespace Host
}  // namespace Kol
