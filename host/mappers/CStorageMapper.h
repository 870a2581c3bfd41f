#pragma once

#include "contracts/database/ICleanupStorageMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

class CSqliteStore;

// Deletes the log blobs whose log is gone, then gives the free pages back to
// the file system. SQLite: incremental vacuum in short steps, then a
// checkpoint that also empties the write-ahead log (a store made without
// incremental auto-vacuum keeps its free pages). PostgreSQL: VACUUM (ANALYZE)
// of the tables the run deleted from.
//
// Called on the module's processing thread; throws std::runtime_error on a
// database failure; stops after the current batch or step when the thread is
// asked to interrupt.
class CStorageMapper : public Common::Database::ICleanupStorageMapper, public virtual CStoreMapper {
public:
    explicit CStorageMapper(const Context& context);

    void Cleanup() final;

private:
    // Returns false when interrupted.
    bool ReleaseFreePages(CSqliteStore& file, CRunReport::MapperCall& call);
};

}  // namespace Host
}  // namespace Kol
