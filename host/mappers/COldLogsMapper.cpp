#include "host/mappers/COldLogsMapper.h"

#include <string>

#include "host/store/IStore.h"
#include "host/store/postgres/CPostgresPartitions.h"
#include "host/store/postgres/CPostgresStore.h"

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
        if (CPostgresStore* server = StoreAs<CPostgresStore>()) {
            std::int64_t seconds[5];
            for (int k = 0; k < 5; ++k) {
                seconds[k] = ToUnixSeconds(*cutoffs[k], "an old logs cut-off");
            }
            DropPartitions(*server, seconds, call);
            return;
        }
        IStore::DeletePlan plan;
        plan.table = "logs";
        for (int k = 1; k <= 5; ++k) {
            const std::string name = "$" + std::to_string(k);
            plan.parameters.push_back(ToUnixSeconds(*cutoffs[k - 1], "an old logs cut-off"));
            plan.condition += std::string(k == 1 ? "" : " OR ") +
                              "(retention_class = " + std::to_string(k) + " AND created_at < " +
                              name + ")";
        }
        DeleteInBatches(plan, call);
    });
}

void COldLogsMapper::DropPartitions(CPostgresStore& server, const std::int64_t (&cutoffs)[5],
                                    CRunReport::MapperCall& call) {
    CPostgresPartitions partitions(server);
    CPostgresPartitions::Dropped total;
    for (int k = 1; k <= 5 && !call.interrupted; ++k) {
        const std::int64_t cutoff = cutoffs[k - 1];
        const CPostgresPartitions::Dropped dropped = partitions.DropBefore(k, cutoff);
        CountRows(call, dropped.rows);
        total.partitions += dropped.partitions;
        total.rows += dropped.rows;
        if (!server.IsDryRun()) {
            server.RecordFreed(dropped.bytes, dropped.bytes);
        }
        if (dropped.interrupted) {
            call.interrupted = true;
            break;
        }
        // Only the week that straddles the cut-off and the default
        // partition are thinned out row by row.
        for (const CPostgresPartitions::Partition& partition : partitions.List(k)) {
            if (partition.isDefault || (partition.from < cutoff && cutoff < partition.to)) {
                DeleteInBatches(IStore::DeletePlan{partition.name, "created_at < $1", {cutoff}},
                                call);
                if (call.interrupted) {
                    break;
                }
            }
        }
    }
    call.detail = std::string(server.IsDryRun() ? "would drop " : "dropped ") +
                  std::to_string(total.partitions) + " partitions holding " +
                  std::to_string(total.rows) + " rows";
}

}  // namespace Host
}  // namespace Kol
