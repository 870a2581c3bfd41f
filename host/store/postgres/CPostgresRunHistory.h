#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/store/RunRecord.h"

namespace Kol {
namespace Host {

class CPostgresStore;

// The run history of a PostgreSQL store: the table run_history (schema
// version 2, CPostgresSchema), one row per run, the newest
// RunRecord::kKeptRows kept; and the migration that brings it to a store of
// version 1.
//
// Same thread as the store's other calls; the store outlives this object.
// Throws std::runtime_error (pqxx::sql_error) with the server's message.
class CPostgresRunHistory {
public:
    explicit CPostgresRunHistory(CPostgresStore& store) : m_store(store) {}

    // Brings a store of schema version `from` to CPostgresSchema::kVersion in
    // one transaction: the tables added since and the new schema_version
    // setting. Returns the line for the log. Not for a dry run.
    std::string Migrate(std::int64_t from);
    // IStore::AddRun: one transaction that commits also in a dry run, the
    // insert and the drop of the rows past the kept ones.
    bool Add(const RunRecord& run);
    // IStore::ReadRuns.
    std::vector<RunRecord> Read(std::size_t limit);

private:
    bool AddOnce(const RunRecord& run);

    CPostgresStore& m_store;
};

}  // namespace Host
}  // namespace Kol
