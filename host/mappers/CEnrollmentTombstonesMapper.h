#pragma once

#include <boost/date_time/posix_time/ptime.hpp>

#include "contracts/database/IComputerEnrollementMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// The mapper of id 361: deletes the enrolment tombstones of computers removed
// before the cut-off (removed_at < cut-off, in Unix seconds).
// Called on the module's processing thread; throws std::runtime_error on a
// database failure or a cut-off that is not a point in time; stops after the
// current batch when the thread is asked to interrupt.
class CEnrollmentTombstonesMapper : public Common::Database::IComputerEnrollementMapper,
                                    public virtual CStoreMapper {
public:
    explicit CEnrollmentTombstonesMapper(const Context& context);

    void CleanupTombstones(boost::posix_time::ptime cutoff) final;
};

}  // namespace Host
}  // namespace Kol
