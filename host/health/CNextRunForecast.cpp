#include "host/health/CNextRunForecast.h"

#include <string>
#include <vector>

#include <boost/optional.hpp>

#include "host/cli/COperationCatalog.h"
#include "host/mappers/CEventLogsMapper.h"
#include "host/store/CCleanupConditions.h"
#include "host/store/IStore.h"
#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

namespace {

// The plan operation `number` deletes along in a run at `now`; none for an
// operation that removes no rows.
boost::optional<IStore::DeletePlan> PlanOf(IStore& store, std::int32_t number,
                                           const CRemovalForecast& forecast,
                                           const IStoreMaintenance::Cutoffs& cutoffs,
                                           std::int64_t now) {
    switch (number) {
        case 1:
            return CCleanupConditions::ReplicatedLogs();
        case 2:
            return CCleanupConditions::ObsoleteDeltaLogs();
        case 3: {
            const std::int64_t keep = CEventLogsMapper::ReadKeepCount(store);
            return keep == 0 ? CCleanupConditions::EventLogs({}, true)
                             : CCleanupConditions::EventLogs(
                                   CEventLogsMapper::ReadBounds(store, keep, forecast.LogsLeft()));
        }
        case 4:
            return CCleanupConditions::AbandonedLogs();
        case 5:
            return CCleanupConditions::IgnoredLogs();
        case 6:
            return CCleanupConditions::OrphanBlobs();
        case 7:
            return CCleanupConditions::OldLogs(cutoffs);
        case 13:
            return CCleanupConditions::EnrollmentTombstones(now -
                                                            CNextRunForecast::kTombstoneSeconds);
        case 14:
            return CCleanupConditions::StaticObjects();
        default:
            return boost::none;
    }
}

}  // namespace

constexpr std::int64_t CNextRunForecast::kTombstoneSeconds;
constexpr std::int64_t CNextRunForecast::kDaySeconds;

CNextRunForecast::Figures CNextRunForecast::Take(IStore& store,
                                                 const std::array<std::uint16_t, 5>& retention,
                                                 std::int64_t now) {
    IStoreMaintenance::Cutoffs cutoffs;
    for (int k = 0; k < 5; ++k) {
        cutoffs[k] = now - retention[k] * kDaySeconds;
    }
    Figures figures;
    CRemovalForecast forecast;
    std::vector<std::string> tables;
    for (const std::int32_t number : COperationCatalog::AllInRunOrder()) {
        // Each plan is made knowing the ones before it (event-logs keeps the
        // newest of the logs they leave); all are counted at the end.
        const boost::optional<IStore::DeletePlan> plan =
            PlanOf(store, number, forecast, cutoffs, now);
        if (plan) {
            forecast.Add(*plan);
            Operation operation;
            operation.number = number;
            figures.operations.push_back(operation);
            tables.push_back(plan->table);
        }
    }
    const std::vector<std::uint64_t> counts = forecast.CountEach(store);
    for (std::size_t i = 0; i < figures.operations.size(); ++i) {
        figures.operations[i].rows = counts[i];
        figures.total.rows += counts[i];
        figures.total.perTable[tables[i]] += counts[i];
    }
    CRemovalForecast::Estimate(store, figures.total);
    return figures;
}

}  // namespace Host
}  // namespace Kol
