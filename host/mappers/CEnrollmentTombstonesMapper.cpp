#include "host/mappers/CEnrollmentTombstonesMapper.h"

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

CEnrollmentTombstonesMapper::CEnrollmentTombstonesMapper(const Context& context)
    : CStoreMapper(context) {}

void CEnrollmentTombstonesMapper::CleanupTombstones(boost::posix_time::ptime cutoff) {
    IStore::DeletePlan plan{"enrollment_tombstones", "rowid", "removed_at < :cutoff"};
    plan.parameters.emplace_back(":cutoff", ToUnixSeconds(cutoff, "the tombstone cut-off"));
    RunDelete("enrollment-tombstones", "cut-off " + FormatTime(cutoff), plan);
}

}  // namespace Host
}  // namespace Kol
