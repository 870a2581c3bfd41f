#include "host/mappers/CStorageMapper.h"

#include <algorithm>

#include <boost/thread/thread.hpp>

#include "host/store/IStore.h"
#include "host/store/postgres/CPostgresMaintenance.h"
#include "host/store/postgres/CPostgresStore.h"
#include "host/store/sqlite/CSqliteStore.h"
#include "host/store/sqlite/CSqliteTransaction.h"

namespace Kol {
namespace Host {

namespace {

// Pages moved and released per step; keeps each step's transaction short.
const std::int64_t kVacuumStepPages = 1024;
const std::int64_t kIncrementalAutoVacuum = 2;

}  // namespace

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
        if (CPostgresStore* server = StoreAs<CPostgresStore>()) {
            CPostgresMaintenance(*server).Vacuum(call);
            return;
        }
        CSqliteStore& file = *StoreAs<CSqliteStore>();
        if (!ReleaseFreePages(file, call)) {
            return;
        }
        const CSqliteStore::LogSizes log = file.TruncateLog();
        call.detail += (call.detail.empty() ? "" : "; ") + log.Text();
    });
}

bool CStorageMapper::ReleaseFreePages(CSqliteStore& file, CRunReport::MapperCall& call) {
    if (file.QueryInt64("PRAGMA auto_vacuum") != kIncrementalAutoVacuum) {
        call.detail =
            "the store does not use incremental auto-vacuum, so its free pages stay in the file; "
            "to change that, run PRAGMA auto_vacuum = INCREMENTAL and then VACUUM on it once, "
            "while no cleanup-agent runs";
        return true;
    }
    std::int64_t freePages = file.QueryInt64("PRAGMA freelist_count");
    while (freePages > 0) {
        if (boost::this_thread::interruption_requested()) {
            call.interrupted = true;
            return false;
        }
        CSqliteTransaction transaction(file);
        file.Execute("PRAGMA incremental_vacuum(" +
                     std::to_string(std::min(freePages, kVacuumStepPages)) + ")");
        transaction.Commit();
        const std::int64_t left = file.QueryInt64("PRAGMA freelist_count");
        if (left >= freePages) {
            break;  // nothing moves any more; leave the rest
        }
        freePages = left;
    }
    return true;
}

}  // namespace Host
}  // namespace Kol
