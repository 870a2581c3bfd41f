#include "host/store/CBatchedDelete.h"

#include <limits>
#include <stdexcept>

#include <boost/thread/thread.hpp>

#include "host/store/sqlite/CSqliteStatement.h"
#include "host/store/sqlite/CSqliteStore.h"
#include "host/store/sqlite/CSqliteTransaction.h"

namespace Kol {
namespace Host {

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
    const std::string range = plan.key + " >= :first AND " + plan.key + " <= :upto";
    const std::string condition = " AND (" + plan.condition + ")";
    CSqliteStatement bounds = m_store.Prepare("SELECT max(" + plan.key + ") FROM " + plan.table);
    CSqliteStatement nextKey = m_store.Prepare("SELECT min(" + plan.key + ") FROM " + plan.table +
                                               " WHERE " + plan.key + " >= :from");
    CSqliteStatement findLast = m_store.Prepare(
        "SELECT max(" + plan.key + "), count(*) FROM (SELECT " + plan.key + " FROM " + from +
        " WHERE " + range + condition + " ORDER BY " + plan.key + " LIMIT :limit)");
    CSqliteStatement deleteUpTo =
        m_store.Prepare("DELETE FROM " + from + " WHERE " + range + condition);
    findLast.BindPresent(plan.parameters);
    deleteUpTo.BindPresent(plan.parameters);
    findLast.Bind(":limit", static_cast<std::int64_t>(m_batchRows));

    Result result;
    if (!bounds.Step() || bounds.IsNull(0)) {
        return result;  // an empty table
    }
    const std::int64_t last = bounds.GetInt64(0);
    bounds.Reset();
    // Every key from `next` on is still to be visited. Keys are only ever
    // compared, or moved by a step that stays within [first, last], so no
    // key from INT64_MIN to INT64_MAX makes the arithmetic overflow.
    std::int64_t next = std::numeric_limits<std::int64_t>::min();
    for (;;) {
        if (boost::this_thread::interruption_requested()) {
            result.interrupted = true;
            return result;
        }
        // Each window starts at a present key: however far apart the keys
        // are, the walk costs what the rows it visits cost.
        nextKey.Bind(":from", next);
        const bool present = nextKey.Step() && !nextKey.IsNull(0);
        const std::int64_t first = present ? nextKey.GetInt64(0) : 0;
        nextKey.Reset();
        if (!present || first > last) {
            return result;
        }
        // The distance of two 64-bit keys may exceed INT64_MAX, not so as unsigned.
        const std::uint64_t span =
            static_cast<std::uint64_t>(last) - static_cast<std::uint64_t>(first);
        const std::int64_t windowEnd =
            span < static_cast<std::uint64_t>(m_windowKeys) ? last : first + (m_windowKeys - 1);
        // The search reads outside any write transaction.
        findLast.Bind(":first", first).Bind(":upto", windowEnd);
        findLast.Step();
        const std::int64_t found = findLast.GetInt64(1);
        const std::int64_t upto =
            found == static_cast<std::int64_t>(m_batchRows) ? findLast.GetInt64(0) : windowEnd;
        findLast.Reset();
        if (found > 0) {
            std::int64_t removed = 0;
            {
                CSqliteTransaction transaction(m_store);
                removed = deleteUpTo.Bind(":first", first).Bind(":upto", upto).Run();
                if (removed > static_cast<std::int64_t>(m_batchRows)) {
                    continue;  // grown meanwhile: rolled back, searched again
                }
                transaction.Commit();
            }
            result.rows += static_cast<std::uint64_t>(removed);
            ++result.batches;
            if (afterBatch) {
                afterBatch(result);
            }
        }
        if (upto == last) {
            return result;
        }
        next = upto + 1;
    }
}

}  // namespace Host
}  // namespace Kol
