#include "host/store/postgres/CPostgresDeleteWalk.h"

#include <pqxx/pqxx>

#include "host/store/postgres/CPostgresSchema.h"
#include "host/store/postgres/CPostgresStore.h"

namespace Kol {
namespace Host {

CPostgresDeleteWalk::CPostgresDeleteWalk(CPostgresStore& store, const IStore::DeletePlan& plan)
    : m_store(store),
      m_table(plan.table),
      m_key(CPostgresSchema::KeyOf(plan.table)),
      m_keyType(CPostgresSchema::KeyTypeOf(plan.table)),
      m_condition("(" + plan.condition + ")"),
      m_values(CPostgresStore::Values(plan.parameters)) {}

std::string CPostgresDeleteWalk::Next(const std::vector<std::string>& values) const {
    return "$" + std::to_string(values.size() + 1) + "::" + m_keyType;
}

boost::optional<std::string> CPostgresDeleteWalk::Last() {
    // Only the keys present when the walk starts are visited, from the
    // lowest on (whatever its value: INT64_MIN, an empty text).
    const pqxx::result bounds = m_store.Run("SELECT max(" + m_key + ")::text FROM " + m_table);
    if (bounds[0][0].is_null()) {
        return boost::none;
    }
    return std::string(bounds[0][0].c_str());
}

boost::optional<CPostgresDeleteWalk::Window> CPostgresDeleteWalk::Search(
    const boost::optional<std::string>& after, const std::string& last, std::size_t batchRows) {
    std::vector<std::string> values = m_values;
    std::string range = m_key + " <= " + Next(values);
    values.push_back(last);
    if (after) {
        range += " AND " + m_key + " > " + Next(values);
        values.push_back(*after);
    }
    const pqxx::result found = m_store.Run(
        "SELECT min(" + m_key + ")::text, max(" + m_key + ")::text, count(*) FROM (SELECT " +
            m_key + " FROM " + m_table + " WHERE " + range + " AND " + m_condition + " ORDER BY " +
            m_key + " LIMIT " + std::to_string(batchRows) + ") s",
        values);
    const std::int64_t count = found[0][2].as<std::int64_t>();
    if (count == 0) {
        return boost::none;
    }
    Window window;
    window.first = found[0][0].c_str();
    window.upto = found[0][1].c_str();
    window.found = static_cast<std::uint64_t>(count);
    return window;
}

std::uint64_t CPostgresDeleteWalk::Delete(const Window& window,
                                          const std::function<bool(std::uint64_t removed)>& keep) {
    std::vector<std::string> values = m_values;
    std::string range = m_key + " >= " + Next(values);
    values.push_back(window.first);
    range += " AND " + m_key + " <= " + Next(values);
    values.push_back(window.upto);
    CPostgresStore::Transaction transaction(m_store);
    const std::uint64_t removed =
        m_store.Run("DELETE FROM " + m_table + " WHERE " + range + " AND " + m_condition, values)
            .affected_rows();
    if (keep(removed)) {
        transaction.Commit();
    }
    return removed;
}

}  // namespace Host
}  // namespace Kol
