#pragma once

#include "contracts/database/IMapper.h"

#include <boost/date_time/posix_time/ptime.hpp>

namespace Kol {
namespace Common {
namespace Database {

// Removes logs older than the cut-off of their retention class.
// Called on the cleanup module's processing thread; throws on a database
// failure (the module logs the failure and goes on with the next operation).
class ICleanupOldLogsMapper : public virtual IMapper {
public:
    ~ICleanupOldLogsMapper() override;

    // Cut-offs in UTC with whole-second precision, one per retention class 1 to 5.
    virtual void Cleanup(const boost::posix_time::ptime& cutoff1,
                         const boost::posix_time::ptime& cutoff2,
                         const boost::posix_time::ptime& cutoff3,
                         const boost::posix_time::ptime& cutoff4,
                         const boost::posix_time::ptime& cutoff5) = 0;
};

}  // namespace Database
}  // namespace Common
}  // namespace Kol
