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

CBatchedDelete::CBatchedDelete(CSqliteStore& store, std::size_t batchRows)
    : m_store(store), m_batchRows(batchRows) {
    if (batchRows == 0) {
        throw std::invalid_argument("a batch needs at least one row");
    }
}

CBatchedDelete::Result CBatchedDelete::Run(const Plan& plan,
                                           const BatchObserver& afterBatch) const {
    const std::string from = plan.table + (plan.walkTable ? " NOT INDEXED" : "");
    const std::string condition = " AND (" + plan.condition + ")";
    CSqliteStatement findLast = m_store.Prepare("SELECT " + plan.key + " FROM " + from + " WHERE " +
                                                plan.key + " > :after" + condition + " ORDER BY " +
                                                plan.key + " LIMIT 1 OFFSET :offset");
    CSqliteStatement deleteUpTo =
        m_store.Prepare("DELETE FROM " + from + " WHERE " + plan.key + " > :after AND " + plan.key +
                        " <= :upto" + condition);
    CSqliteStatement deleteRest =
        m_store.Prepare("DELETE FROM " + from + " WHERE " + plan.key + " > :after" + condition);
    BindParameters(findLast, plan);
    BindParameters(deleteUpTo, plan);
    BindParameters(deleteRest, plan);
    findLast.Bind(":offset", static_cast<std::int64_t>(m_batchRows - 1));

    Result result;
    std::int64_t after = std::numeric_limits<std::int64_t>::min();
    for (;;) {
        if (boost::this_thread::interruption_requested()) {
            result.interrupted = true;
            return result;
        }
        bool last = false;
        std::int64_t removed = 0;
        {
            // The batch's end is found inside its transaction, so rows that
            // another writer adds meanwhile cannot make it larger.
            CSqliteTransaction transaction(m_store);
            findLast.Bind(":after", after);
            if (findLast.Step()) {
                const std::int64_t upto = findLast.GetInt64(0);
                findLast.Reset();
                removed = deleteUpTo.Bind(":after", after).Bind(":upto", upto).Run();
                after = upto;
            } else {
                findLast.Reset();
                removed = deleteRest.Bind(":after", after).Run();
                last = true;
            }
            transaction.Commit();
        }
        result.rows += static_cast<std::uint64_t>(removed);
        ++result.batches;
        if (afterBatch) {
            afterBatch(result);
        }
        if (last) {
            return result;
        }
    }
}

}  // namespace Host
}  // namespace Kol
