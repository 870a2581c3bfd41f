#pragma once

#include <cstdint>
#include <string>

#include "contracts/database/IBackupMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

class CSqliteStore;

// The mapper of id 365: writes a consistent, verified copy of the store to
// "<store>.bak" (beside the store's real path). The copy is made with
// SQLite's online backup, inside one read transaction of the store, into a
// new "<store>.bak.tmp-XXXXXX" with the store's mode and owner; so it holds
// exactly the snapshot taken when it began and finishes in time proportional
// to the store's size whatever other writers do. The copy is then opened on
// its own and checked with quick_check and its count of logs, synced and
// renamed over the previous backup, which is therefore replaced only by a
// complete, verified copy, and never from a damaged store. Afterwards the
// write-ahead log that grew meanwhile is truncated when no reader holds it.
// In a dry run only the store itself is checked and nothing is written.
//
// Called on the module's processing thread; throws std::runtime_error "backup
// to <file> failed: <reason>" (the temporary files are removed, the previous
// backup stays); stops between copy steps when the thread is asked to
// interrupt, leaving the previous backup in place.
class CBackupMapper : public Common::Database::IBackupMapper, public virtual CStoreMapper {
public:
    explicit CBackupMapper(const Context& context);

    void Backup() final;

private:
    // Copies the store into `temporary` and sets `logs` to the logs of the
    // snapshot copied. Returns false when interrupted.
    bool WriteCopy(CSqliteStore& store, const std::string& temporary, std::int64_t& logs) const;
    // Throws when the copy fails quick_check or does not hold `logs` logs.
    void VerifyCopy(const std::string& temporary, std::int64_t logs) const;
};

}  // namespace Host
}  // namespace Kol
