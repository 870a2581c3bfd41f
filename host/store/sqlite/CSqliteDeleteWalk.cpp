#include "host/store/sqlite/CSqliteDeleteWalk.h"

#include <limits>
#include <stdexcept>
#include <string>

#include "host/store/sqlite/CSqliteSchema.h"
#include "host/store/sqlite/CSqliteStore.h"
#include "host/store/sqlite/CSqliteTransaction.h"

namespace Kol {
namespace Host {

namespace {

std::int64_t CheckedWindow(std::int64_t windowKeys) {
    if (windowKeys <= 0) {
        throw std::invalid_argument("a batch needs at least one row and one key");
    }
    return windowKeys;
}

// The table, read itself where an index would mislead the planner.
std::string Source(const IStore::DeletePlan& plan) {
    return plan.table +
           (CSqliteSchema::WalksTable(plan.table, plan.condition) ? " NOT INDEXED" : "");
}

std::string Range(const std::string& key, const IStore::DeletePlan& plan) {
    return key + " >= :first AND " + key + " <= :upto AND (" + plan.condition + ")";
}

}  // namespace

const std::int64_t CSqliteDeleteWalk::kDefaultWindowKeys;

CSqliteDeleteWalk::CSqliteDeleteWalk(CSqliteStore& store, const IStore::DeletePlan& plan,
                                     std::int64_t windowKeys)
    : CSqliteDeleteWalk(store, plan, CSqliteSchema::KeyOf(plan.table), windowKeys) {}

CSqliteDeleteWalk::CSqliteDeleteWalk(CSqliteStore& store, const IStore::DeletePlan& plan,
                                     const std::string& key, std::int64_t windowKeys)
    : m_store(store),
      m_windowKeys(CheckedWindow(windowKeys)),
      m_bounds(store.Prepare("SELECT max(" + key + ") FROM " + plan.table)),
      m_nextKey(store.Prepare("SELECT min(" + key + ") FROM " + plan.table + " WHERE " + key +
                              " >= :from")),
      m_findLast(store.Prepare("SELECT max(" + key + "), count(*) FROM (SELECT " + key + " FROM " +
                               Source(plan) + " WHERE " + Range(key, plan) + " ORDER BY " + key +
                               " LIMIT :limit)")),
      m_deleteUpTo(store.Prepare("DELETE FROM " + Source(plan) + " WHERE " + Range(key, plan))) {
    m_findLast.BindNumbered(plan.parameters);
    m_deleteUpTo.BindNumbered(plan.parameters);
}

boost::optional<std::int64_t> CSqliteDeleteWalk::Last() {
    const bool present = m_bounds.Step() && !m_bounds.IsNull(0);
    const std::int64_t last = present ? m_bounds.GetInt64(0) : 0;
    m_bounds.Reset();
    return present ? boost::make_optional(last) : boost::none;
}

boost::optional<CSqliteDeleteWalk::Window> CSqliteDeleteWalk::Search(
    const boost::optional<std::int64_t>& after, const std::int64_t& last, std::size_t batchRows) {
    // Each window starts at a present key: however far apart the keys are,
    // the walk costs what the rows it visits cost. Keys are only ever
    // compared, or moved by a step that stays within [first, last], so no key
    // from INT64_MIN to INT64_MAX makes the arithmetic overflow (`after` is
    // below `last`).
    m_nextKey.Bind(":from", after ? *after + 1 : std::numeric_limits<std::int64_t>::min());
    const bool present = m_nextKey.Step() && !m_nextKey.IsNull(0);
    Window window;
    window.first = present ? m_nextKey.GetInt64(0) : 0;
    m_nextKey.Reset();
    if (!present || window.first > last) {
        return boost::none;
    }
    // The distance of two 64-bit keys may exceed INT64_MAX, not so as unsigned.
    const std::uint64_t span =
        static_cast<std::uint64_t>(last) - static_cast<std::uint64_t>(window.first);
    const std::int64_t windowEnd =
        span < static_cast<std::uint64_t>(m_windowKeys) ? last : window.first + (m_windowKeys - 1);
    // The search reads outside any write transaction.
    m_findLast.Bind(":limit", static_cast<std::int64_t>(batchRows));
    m_findLast.Bind(":first", window.first).Bind(":upto", windowEnd);
    m_findLast.Step();
    const std::int64_t found = m_findLast.GetInt64(1);
    window.found = static_cast<std::uint64_t>(found);
    window.upto = window.found == batchRows ? m_findLast.GetInt64(0) : windowEnd;
    m_findLast.Reset();
    return window;
}

std::uint64_t CSqliteDeleteWalk::Delete(const Window& window,
                                        const std::function<bool(std::uint64_t removed)>& keep) {
    CSqliteTransaction transaction(m_store);
    const std::uint64_t removed = static_cast<std::uint64_t>(
        m_deleteUpTo.Bind(":first", window.first).Bind(":upto", window.upto).Run());
    if (keep(removed)) {
        transaction.Commit();
    }
    return removed;
}

}  // namespace Host
}  // namespace Kol
