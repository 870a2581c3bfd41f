#include "host/COldLogsMapper.h"

#include <string>

#include "host/CBatchedDelete.h"

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
        arguments += std::string(k == 1 ? " " : ", ") + FormatTime(*cutoffs[k - 1]);
    }
    RunCall("old-logs", arguments, [this, &cutoffs](CRunReport::MapperCall& call) {
        CBatchedDelete::Plan plan;
        plan.table = "logs";
        plan.key = "id";
        plan.walkTable = true;
        for (int k = 1; k <= 5; ++k) {
            const std::string name = ":c" + std::to_string(k);
            plan.parameters.emplace_back(name,
                                         ToUnixSeconds(*cutoffs[k - 1], "an old logs cut-off"));
            plan.condition += std::string(k == 1 ? "" : " OR ") +
                              "(retention_class = " + std::to_string(k) + " AND created_at < " +
                              name + ")";
        }
        DeleteInBatches(plan, call);
    });
}

}  // namespace Host
}  // namespace Kol
