#pragma once

#include "contracts/database/IBackupMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// The mapper of id 365: has the store write a consistent, verified copy of
// itself to its backup path (IStoreMaintenance::Backup), which replaces the
// previous backup only once complete and verified, and never from a damaged
// store. In a dry run nothing is written.
//
// Called on the module's processing thread; throws std::runtime_error "backup
// to <file> failed: <reason>" (the temporary files are removed, the previous
// backup stays); stops between copy steps when the thread is asked to
// interrupt, leaving the previous backup in place.
class CBackupMapper : public Common::Database::IBackupMapper, public virtual CStoreMapper {
public:
    explicit CBackupMapper(const Context& context);

    void Backup() final;
};

}  // namespace Host
}  // namespace Kol
