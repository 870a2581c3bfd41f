#include "host/mappers/CEnrollmentTombstonesMapper.h"

#include "host/store/CCleanupConditions.h"
#include "host/store/CUnits.h"

namespace Kol {
namespace Host {

CEnrollmentTombstonesMapper::CEnrollmentTombstonesMapper(const Context& context)
    : CStoreMapper(context) {}

void CEnrollmentTombstonesMapper::CleanupTombstones(boost::posix_time::ptime cutoff) {
    RunDelete(
        "enrollment-tombstones", "cut-off " + CUnits::Time(cutoff),
        CCleanupConditions::EnrollmentTombstones(ToUnixSeconds(cutoff, "the tombstone cut-off")));
}

}  // namespace Host
}  // namespace Kol
