#include "host/mappers/CEnrollmentTombstonesMapper.h"

#include "host/store/CUnits.h"
#include "host/store/IStore.h"

namespace Kol {
namespace Host {

CEnrollmentTombstonesMapper::CEnrollmentTombstonesMapper(const Context& context)
    : CStoreMapper(context) {}

void CEnrollmentTombstonesMapper::CleanupTombstones(boost::posix_time::ptime cutoff) {
    RunDelete("enrollment-tombstones", "cut-off " + CUnits::Time(cutoff),
              IStore::DeletePlan{"enrollment_tombstones",
                                 "removed_at < $1",
                                 {ToUnixSeconds(cutoff, "the tombstone cut-off")}});
}

}  // namespace Host
}  // namespace Kol
