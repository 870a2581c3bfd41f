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

std::vector<std::uint64_t> CRemovalForecast::CountEach(IStore& store) const {
    std::map<std::string, std::vector<std::size_t>> plansOf;  // table -> plan indexes, in order
    for (std::size_t i = 0; i < m_plans.size(); ++i) {
        plansOf[m_plans[i].table].push_back(i);
    }
    std::vector<std::uint64_t> counts(m_plans.size(), 0);
    for (const auto& table : plansOf) {
        if (table.second.size() == 1) {
            // A plain count: inside a CASE a NOT EXISTS (the orphan blobs')
            // could not become an anti-join, and would probe the logs once
            // per row.
            counts[table.second[0]] = static_cast<std::uint64_t>(store.QueryInt64(
                "SELECT count(*) FROM " + table.first + " WHERE " + Condition(table.second[0])));
            continue;
        }
        // Each row goes to the first plan that takes it; the plan numbers
        // come from a list of their own, so that a plan taking no row still
        // gets its 0 in its place.
        std::string first = "CASE";
        std::string numbers;
        for (std::size_t n = 0; n < table.second.size(); ++n) {
            first += " WHEN " + Condition(table.second[n]) + " THEN " + std::to_string(n);
            numbers += (n == 0 ? "(" : ", (") + std::to_string(n) + ")";
        }
        const std::vector<std::int64_t> taken = store.QueryInt64s(
            "WITH plans(k) AS (VALUES " + numbers + "), taken(k, n) AS MATERIALIZED (SELECT " +
            first + " END, count(*) FROM " + table.first +
            " GROUP BY 1) SELECT coalesce(taken.n, 0) FROM plans LEFT JOIN taken ON taken.k ="
            " plans.k ORDER BY plans.k");
        for (std::size_t n = 0; n < table.second.size() && n < taken.size(); ++n) {
            counts[table.second[n]] = static_cast<std::uint64_t>(taken[n]);
        }
    }
    return counts;
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
