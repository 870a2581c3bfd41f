#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/store/IStore.h"
#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

// The rows each cleanup operation removes, written once: the mappers delete
// along these plans, the SQLite store's old-logs walk is one of them, and a
// dry run's forecast (CRemovalForecast) counts their union. Plain SQL both
// stores understand, on the plan's table alone with unqualified columns:
// the SQLite store matches them against its partial indexes' own text, and
// inside a subquery on that table they still name its columns.
//
// Pure functions; any thread. Nothing here throws.
class CCleanupConditions {
public:
    // The oldest event log of one type that is kept: every older one of
    // that type goes (by created_at, then id).
    struct EventLogBound {
        std::int64_t logType = 0;
        std::int64_t createdAt = 0;
        std::int64_t id = 0;
    };

    static IStore::DeletePlan ReplicatedLogs();
    static IStore::DeletePlan ObsoleteDeltaLogs();
    static IStore::DeletePlan AbandonedLogs();
    static IStore::DeletePlan IgnoredLogs();
    // Event logs older than their type's bound; types without a bound keep
    // all of theirs. `everyType` removes every event log (a keep count of 0).
    static IStore::DeletePlan EventLogs(const std::vector<EventLogBound>& bounds,
                                        bool everyType = false);
    // Logs of retention class k created before cutoffs[k - 1].
    static IStore::DeletePlan OldLogs(const IStoreMaintenance::Cutoffs& cutoffs);
    // Log blobs whose log is gone; with `logsGoing` (a condition on logs,
    // inlined, or empty), also those whose log that condition takes.
    static IStore::DeletePlan OrphanBlobs(const std::string& logsGoing = std::string());
    static IStore::DeletePlan StaticObjects();
    static IStore::DeletePlan EnrollmentTombstones(std::int64_t cutoff);

    // The plan's condition with its parameters written in as numbers, so
    // that conditions of several plans can share one statement.
    static std::string Inline(const IStore::DeletePlan& plan);
    // "(a) OR (b) ..." of inlined conditions; "" for none.
    static std::string AnyOf(const std::vector<std::string>& conditions);
    // True for the rows `condition` does not take, NULL counting as not
    // taken; "" (nothing taken) gives "".
    static std::string Excluding(const std::string& condition);

    CCleanupConditions() = delete;
};

}  // namespace Host
}  // namespace Kol
