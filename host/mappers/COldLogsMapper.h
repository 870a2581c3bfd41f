#pragma once

#include <cstdint>

#include <boost/date_time/posix_time/ptime.hpp>

#include "contracts/database/ICleanupOldLogsMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

class CPostgresStore;

// Deletes, for each retention class k from 1 to 5, the logs of that class
// created before cut-off k. On SQLite all five classes go in one walk over
// the table in id order, which touches each page once instead of once per
// class. On PostgreSQL the weekly partitions wholly before a cut-off are
// dropped, and only the week that straddles it and the default partition lose
// rows one batch at a time: the cost follows the partitions, not the rows.
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

private:
    void DropPartitions(CPostgresStore& server, const std::int64_t (&cutoffs)[5],
                        CRunReport::MapperCall& call);
};

}  // namespace Host
}  // namespace Kol
