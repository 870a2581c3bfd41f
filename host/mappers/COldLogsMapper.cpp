#include "host/mappers/COldLogsMapper.h"

#include <string>

#include "host/store/CCleanupConditions.h"
#include "host/store/CUnits.h"
#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

COldLogsMapper::COldLogsMapper(const Context& context) : CStoreMapper(context) {}

void COldLogsMapper::Cleanup(const boost::posix_time::ptime& cutoff1,
                             const boost::posix_time::ptime& cutoff2,
                             const boost::posix_time::ptime& cutoff3,
                             const boost::posix_time::ptime& cutoff4,
                             const boost::posix_time::ptime& cutoff5) {
    const boost::posix_time::ptime* const cutoffs[] = {&cutoff1, &cutoff2, &cutoff3, &cutoff4,
                                                       &cutoff5};
    std::string arguments = "cut-offs";
    for (int k = 1; k <= 5; ++k) {
        arguments += std::string(k == 1 ? " " : ", ") + CUnits::Time(*cutoffs[k - 1]);
    }
    RunCall("old-logs", arguments, [this, &cutoffs](CRunReport::MapperCall& call) {
        IStoreMaintenance::Cutoffs seconds;
        for (int k = 0; k < 5; ++k) {
            seconds[k] = ToUnixSeconds(*cutoffs[k], "an old logs cut-off");
        }
        // The store removes them its own way (whole partitions where it can),
        // but they are the rows of this one condition.
        Foresee(CCleanupConditions::OldLogs(seconds));
        const std::uint64_t before = call.rows;
        Record(Store().Maintenance().DropOldLogs(seconds, BatchRows(), Observe(call)), before,
               call);
    });
}

}  // namespace Host
}  // namespace Kol
