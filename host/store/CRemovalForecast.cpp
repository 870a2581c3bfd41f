#include "host/store/CRemovalForecast.h"

#include <algorithm>

#include "host/store/CCleanupConditions.h"
#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

void CRemovalForecast::Add(const IStore::DeletePlan& plan) {
    m_plans.push_back(plan);
}

std::string CRemovalForecast::LogsGoing(std::size_t before) const {
    std::vector<std::string> conditions;
    for (std::size_t i = 0; i < before && i < m_plans.size(); ++i) {
        if (m_plans[i].table == "logs") {
            conditions.push_back(CCleanupConditions::Inline(m_plans[i]));
        }
    }
    return CCleanupConditions::AnyOf(conditions);
}

std::string CRemovalForecast::LogsLeft() const {
    return CCleanupConditions::Excluding(LogsGoing(m_plans.size()));
}

CRemovalForecast::Figures CRemovalForecast::Count(IStore& store) const {
    std::map<std::string, std::vector<std::string>> conditions;
    for (std::size_t i = 0; i < m_plans.size(); ++i) {
        const IStore::DeletePlan& plan = m_plans[i];
        conditions[plan.table].push_back(
            plan.table == "log_blobs"
                ? CCleanupConditions::Inline(CCleanupConditions::OrphanBlobs(LogsGoing(i)))
                : CCleanupConditions::Inline(plan));
    }
    Figures figures;
    double freed = 0;
    for (const auto& table : conditions) {
        const std::int64_t rows =
            store.QueryInt64("SELECT count(*) FROM " + table.first + " WHERE " +
                             CCleanupConditions::AnyOf(table.second));
        figures.perTable[table.first] = static_cast<std::uint64_t>(rows);
        figures.rows += static_cast<std::uint64_t>(rows);
        if (rows > 0) {
            const double all =
                static_cast<double>(store.QueryInt64("SELECT count(*) FROM " + table.first));
            freed += static_cast<double>(store.Maintenance().TableBytes(table.first)) *
                     static_cast<double>(rows) / std::max(all, 1.0);
        }
    }
    IStoreMaintenance& maintenance = store.Maintenance();
    figures.bytesReturned = maintenance.EstimateReturnedBytes(static_cast<std::int64_t>(freed));
    figures.storeBytesAfter =
        std::max<std::int64_t>(maintenance.StoreBytes() - figures.bytesReturned, 0);
    return figures;
}

}  // namespace Host
}  // namespace Kol
