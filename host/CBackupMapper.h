#pragma once

#include <string>

#include "contracts/database/IBackupMapper.h"
#include "host/CStoreMapper.h"

namespace Kol {
namespace Host {

// The mapper of id 365: writes a consistent, verified copy of the store to
// "<store>.bak". The copy is made with SQLite's online backup into
// "<store>.bak.tmp", checked with quick_check, synced and renamed over the
// previous backup, which is therefore replaced only by a complete, verified
// copy. In a dry run only the store itself is checked and nothing is written.
//
// Called on the module's processing thread; throws std::runtime_error "backup
// to <file> failed: <reason>" (the temporary file is removed, the previous
// backup stays); stops between copy steps when the thread is asked to
// interrupt, leaving the previous backup in place.
class CBackupMapper : public Common::Database::IBackupMapper, public CStoreMapper {
public:
    explicit CBackupMapper(const Context& context);

    void Backup() final;

private:
    // Returns false when interrupted (nothing left behind).
    bool WriteVerifiedCopy(const std::string& temporary) const;
};

}  // namespace Host
}  // namespace Kol
