#include "host/mappers/CStorageMapper.h"

#include <ctime>

#include "host/mappers/CSizeLimiter.h"
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
        if (GetSizeLimits().Any()) {
            LimitSize(call);
            if (call.interrupted) {
                return;
            }
        }
        Record(Store().Maintenance().ReleaseSpace(), call.rows, call);
    });
}

void CStorageMapper::LimitSize(CRunReport::MapperCall& call) {
    CSizeLimiter limiter(Store(), GetSizeLimits(), std::time(nullptr));
    SizeLimitOutcome outcome;
    if (IsDryRun()) {
        outcome = limiter.Estimate([this, &call](const IStore::DeletePlan& plan) {
            // Counted, not rehearsed; the forecast takes them and their blobs.
            Foresee(plan);
            Foresee(CCleanupConditions::OrphanBlobs());
            IStore::DeleteResult counted;
            counted.rows = static_cast<std::uint64_t>(Store().QueryInt64(
                "SELECT count(*) FROM logs WHERE (" + plan.condition + ")", plan.parameters));
            call.rows += counted.rows;
            return counted;
        });
    } else {
        bool interrupted = false;
        outcome = limiter.Enforce(
            [this, &call](const IStore::DeletePlan& plan) {
                IStore::DeleteResult removed;
                const std::uint64_t before = call.rows;
                DeleteInBatches(plan, call);
                removed.rows = call.rows - before;
                if (!call.interrupted) {
                    DeleteInBatches(CCleanupConditions::OrphanBlobs(), call);
                }
                removed.interrupted = call.interrupted;
                return removed;
            },
            interrupted);
        call.interrupted = call.interrupted || interrupted;
        call.rows += limiter.DroppedLogs();
    }
    IStoreMaintenance::Result told;
    told.detail = CSizeLimiter::Describe(outcome);
    told.warnings = limiter.Warnings();
    if (!outcome.met) {
        told.warnings.push_back("size limits not met: " + outcome.reason);
    }
    told.interrupted = call.interrupted;
    Record(told, call.rows, call);
    call.sizeLimits = outcome;
}

}  // namespace Host
}  // namespace Kol
