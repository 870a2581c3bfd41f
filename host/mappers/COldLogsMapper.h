#pragma once

#include <boost/date_time/posix_time/ptime.hpp>

#include "contracts/database/ICleanupOldLogsMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// Deletes, for each retention class k from 1 to 5, the logs of that class
// created before cut-off k, the store's own way (IStoreMaintenance::
// DropOldLogs), whose batches show in the report's progress.
//
// Called on the module's processing thread; throws std::runtime_error on a
// database failure or a cut-off that is not a point in time; stops after the
// current batch when the thread is asked to interrupt.
class COldLogsMapper : public Common::Database::ICleanupOldLogsMapper, public virtual CStoreMapper {
public:
    explicit COldLogsMapper(const Context& context);

    void Cleanup(const boost::posix_time::ptime& cutoff1, const boost::posix_time::ptime& cutoff2,
                 const boost::posix_time::ptime& cutoff3, const boost::posix_time::ptime& cutoff4,
                 const boost::posix_time::ptime& cutoff5) final;
};

}  // namespace Host
}  // namespace Kol
