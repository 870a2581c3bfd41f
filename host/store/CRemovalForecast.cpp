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

std::string CRemovalForecast::Condition(std::size_t index) const {
    const IStore::DeletePlan& plan = m_plans[index];
    return plan.table == "log_blobs"
               ? CCleanupConditions::Inline(CCleanupConditions::OrphanBlobs(LogsGoing(index)))
               : CCleanupConditions::Inline(plan);
}

std::uint64_t CRemovalForecast::CountNext(IStore& store, const IStore::DeletePlan& plan) {
    m_plans.push_back(plan);
    const std::size_t index = m_plans.size() - 1;
    std::vector<std::string> earlier;
    for (std::size_t i = 0; i < index; ++i) {
        if (m_plans[i].table == plan.table) {
            earlier.push_back(Condition(i));
        }
    }
    const std::string left = CCleanupConditions::Excluding(CCleanupConditions::AnyOf(earlier));
    return static_cast<std::uint64_t>(
        store.QueryInt64("SELECT count(*) FROM " + plan.table + " WHERE (" + Condition(index) +
                         ")" + (left.empty() ? std::string() : " AND " + left)));
}

CRemovalForecast::Figures CRemovalForecast::Count(IStore& store) const {
    std::map<std::string, std::vector<std::string>> conditions;
    for (std::size_t i = 0; i < m_plans.size(); ++i) {
        conditions[m_plans[i].table].push_back(Condition(i));
    }
    Figures figures;
    for (const auto& table : conditions) {
        const std::int64_t rows =
            store.QueryInt64("SELECT count(*) FROM " + table.first + " WHERE " +
                             CCleanupConditions::AnyOf(table.second));
        figures.perTable[table.first] = static_cast<std::uint64_t>(rows);
        figures.rows += static_cast<std::uint64_t>(rows);
    }
    Estimate(store, figures);
    return figures;
}

void CRemovalForecast::Estimate(IStore& store, Figures& figures) {
    IStoreMaintenance& maintenance = store.Maintenance();
    double freed = 0;
    for (const auto& table : figures.perTable) {
        if (table.second > 0) {
            const double all =
                static_cast<double>(store.QueryInt64("SELECT count(*) FROM " + table.first));
            freed += static_cast<double>(maintenance.TableBytes(table.first)) *
                     static_cast<double>(table.second) / std::max(all, 1.0);
        }
    }
    figures.bytesReturned = maintenance.EstimateReturnedBytes(static_cast<std::int64_t>(freed));
    figures.storeBytesAfter =
        std::max<std::int64_t>(maintenance.StoreBytes() - figures.bytesReturned, 0);
}

}  // namespace Host
}  // namespace Kol
