#include "host/CBatchedDelete.h"

#include <limits>
#include <stdexcept>

#include <boost/thread/thread.hpp>

#include "host/CSqliteStatement.h"
#include "host/CSqliteStore.h"
#include "host/CSqliteTransaction.h"

namespace Kol {
namespace Host {

namespace {

void BindParameters(CSqliteStatement& statement, const CBatchedDelete::Plan& plan) {
    for (const auto& parameter : plan.parameters) {
        if (statement.HasParameter(parameter.first)) {
            statement.Bind(parameter.first, parameter.second);
        }
    }
}

}  // namespace

const std::int64_t CBatchedDelete::kDefaultWindowKeys;

CBatchedDelete::CBatchedDelete(CSqliteStore& store, std::size_t batchRows, std::int64_t windowKeys)
    : m_store(store), m_batchRows(batchRows), m_windowKeys(windowKeys) {
    if (batchRows == 0 || windowKeys <= 0) {
        throw std::invalid_argument("a batch needs at least one row and one key");
    }
}

CBatchedDelete::Result CBatchedDelete::Run(const Plan& plan,
                                           const BatchObserver& afterBatch) const {
    const std::string from = plan.table + (plan.walkTable ? " NOT INDEXED" : "");
    const std::string range = plan.key + " > :after AND " + plan.key + " <= :upto";
    const std::string condition = " AND (" + plan.condition + ")";
    CSqliteStatement bounds =
        m_store.Prepare("SELECT min(" + plan.key + "), max(" + plan.key + ") FROM " + plan.table);
    CSqliteStatement findLast = m_store.Prepare(
        "SELECT max(" + plan.key + "), count(*) FROM (SELECT " + plan.key + " FROM " + from +
        " WHERE " + range + condition + " ORDER BY " + plan.key + " LIMIT :limit)");
    CSqliteStatement deleteUpTo =
        m_store.Prepare("DELETE FROM " + from + " WHERE " + range + condition);
    BindParameters(findLast, plan);
    BindParameters(deleteUpTo, plan);
    findLast.Bind(":limit", static_cast<std::int64_t>(m_batchRows));

    Result result;
    if (!bounds.Step() || bounds.IsNull(0)) {
        return result;  // an empty table
    }
    const std::int64_t last = bounds.GetInt64(1);
    std::int64_t after = bounds.GetInt64(0) - 1;
    bounds.Reset();
    while (after < last) {
        if (boost::this_thread::interruption_requested()) {
            result.interrupted = true;
            return result;
        }
        const std::int64_t windowEnd = last - after <= m_windowKeys ? last : after + m_windowKeys;
        // The search reads outside any write transaction.
        findLast.Bind(":after", after).Bind(":upto", windowEnd);
        findLast.Step();
        const std::int64_t found = findLast.GetInt64(1);
        const std::int64_t upto =
            found == static_cast<std::int64_t>(m_batchRows) ? findLast.GetInt64(0) : windowEnd;
        findLast.Reset();
        if (found == 0) {
            after = upto;
            continue;
        }
        std::int64_t removed = 0;
        {
            CSqliteTransaction transaction(m_store);
            removed = deleteUpTo.Bind(":after", after).Bind(":upto", upto).Run();
            if (removed > static_cast<std::int64_t>(m_batchRows)) {
                continue;  // grown meanwhile: rolled back, searched again
            }
            transaction.Commit();
        }
        after = upto;
        result.rows += static_cast<std::uint64_t>(removed);
        ++result.batches;
        if (afterBatch) {
            afterBatch(result);
        }
    }
    return result;
}

}  // namespace Host
}  // namespace Kol
