#pragma once

#include "contracts/database/IMapper.h"

#include <boost/date_time/posix_time/ptime.hpp>

namespace Kol {
namespace Common {
namespace Database {

// Removes enrolment tombstones of computers removed before a cut-off.
// "Enrollement" is how the kernel spells this interface (and the module's log
// lines about it); the name must match the kernel's, so it is not corrected.
// Called on the cleanup module's processing thread; throws on a database
// failure (the module logs the failure and goes on with the next operation).
class IComputerEnrollementMapper : public virtual IMapper {
public:
    ~IComputerEnrollementMapper() override;

    // `cutoff` is in UTC with whole-second precision.
    virtual void CleanupTombstones(boost::posix_time::ptime cutoff) = 0;
};

}  // namespace Database
}  // namespace Common
}  // namespace Kol
