#include "host/store/CCleanupConditions.h"

namespace Kol {
namespace Host {

IStore::DeletePlan CCleanupConditions::ReplicatedLogs() {
    return {"logs", "replicated = 1"};
}

IStore::DeletePlan CCleanupConditions::ObsoleteDeltaLogs() {
    return {"logs", "is_delta = 1 AND superseded = 1"};
}

IStore::DeletePlan CCleanupConditions::AbandonedLogs() {
    return {"logs",
            "owner_id IS NOT NULL AND NOT EXISTS (SELECT 1 FROM owners WHERE "
            "owners.id = logs.owner_id)"};
}

IStore::DeletePlan CCleanupConditions::IgnoredLogs() {
    return {"logs", "ignored = 1"};
}

IStore::DeletePlan CCleanupConditions::EventLogs(const std::vector<EventLogBound>& bounds,
                                                 bool everyType) {
    if (everyType) {
        return {"logs", "is_delta = 0"};
    }
    if (bounds.empty()) {
        return {"logs", "is_delta = 0 AND 0 = 1"};
    }
    // One branch per type, in the statement itself rather than a scratch
    // table, so that the condition can be counted and read anywhere. Both
    // branches are comparisons, which both stores type alike.
    std::string condition = "is_delta = 0 AND CASE log_type";
    for (const EventLogBound& bound : bounds) {
        const std::string at = std::to_string(bound.createdAt);
        condition += " WHEN " + std::to_string(bound.logType) + " THEN (created_at < " + at +
                     " OR (created_at = " + at + " AND id < " + std::to_string(bound.id) + "))";
    }
    return {"logs", condition + " ELSE 0 = 1 END"};
}

IStore::DeletePlan CCleanupConditions::OldLogs(const IStoreMaintenance::Cutoffs& cutoffs) {
    IStore::DeletePlan plan;
    plan.table = "logs";
    for (int k = 1; k <= 5; ++k) {
        plan.parameters.push_back(cutoffs[k - 1]);
        plan.condition += std::string(k == 1 ? "" : " OR ") +
                          "(retention_class = " + std::to_string(k) + " AND created_at < $" +
                          std::to_string(k) + ")";
    }
    return plan;
}

IStore::DeletePlan CCleanupConditions::OrphanBlobs(const std::string& logsGoing) {
    const std::string kept = Excluding(logsGoing);
    return {"log_blobs", "NOT EXISTS (SELECT 1 FROM logs WHERE logs.id = log_blobs.log_id" +
                             (kept.empty() ? std::string() : " AND " + kept) + ")"};
}

IStore::DeletePlan CCleanupConditions::StaticObjects() {
    return {"static_objects", "deleted = 1"};
}

IStore::DeletePlan CCleanupConditions::EnrollmentTombstones(std::int64_t cutoff) {
    return {"enrollment_tombstones", "removed_at < $1", {cutoff}};
}

std::string CCleanupConditions::Inline(const IStore::DeletePlan& plan) {
    std::string text = plan.condition;
    // From the highest number down, so that $1 never eats the start of $12.
    for (std::size_t k = plan.parameters.size(); k >= 1; --k) {
        const std::string name = "$" + std::to_string(k);
        const std::string value = "(" + std::to_string(plan.parameters[k - 1]) + ")";
        for (std::size_t at = text.find(name); at != std::string::npos;
             at = text.find(name, at + value.size())) {
            text.replace(at, name.size(), value);
        }
    }
    return text;
}

std::string CCleanupConditions::AnyOf(const std::vector<std::string>& conditions) {
    std::string any;
    for (const std::string& condition : conditions) {
        any += (any.empty() ? "(" : " OR (") + condition + ")";
    }
    return any;
}

std::string CCleanupConditions::Excluding(const std::string& condition) {
    return condition.empty() ? std::string() : "CASE WHEN " + condition + " THEN 1 ELSE 0 END = 0";
}

}  // namespace Host
}  // namespace Kol
