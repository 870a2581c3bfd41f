#include "host/CEnrollmentTombstonesMapper.h"

#include "host/CBatchedDelete.h"

namespace Kol {
namespace Host {

CEnrollmentTombstonesMapper::CEnrollmentTombstonesMapper(const Context& context)
    : CStoreMapper(context) {}

void CEnrollmentTombstonesMapper::CleanupTombstones(boost::posix_time::ptime cutoff) {
    RunCall("enrollment-tombstones", "cut-off " + FormatTime(cutoff),
            [this, cutoff](CRunReport::MapperCall& call) {
                CBatchedDelete::Plan plan;
                plan.table = "enrollment_tombstones";
                plan.key = "rowid";
                plan.condition = "removed_at < :cutoff";
                plan.parameters.emplace_back(":cutoff",
                                             ToUnixSeconds(cutoff, "the tombstone cut-off"));
                const CBatchedDelete::Result result =
                    CBatchedDelete(Store(), BatchRows()).Run(plan, Batches(call));
                call.rows = result.rows;
                call.interrupted = result.interrupted;
            });
}

}  // namespace Host
}  // namespace Kol
