#include "host/store/postgres/CPostgresRunHistory.h"

#include <pqxx/pqxx>

#include "host/store/postgres/CPostgresSchema.h"
#include "host/store/postgres/CPostgresStore.h"

namespace Kol {
namespace Host {

std::string CPostgresRunHistory::Migrate(std::int64_t from) {
    // All or nothing: a store that stopped half-way would have a table of a
    // version its settings do not name, and be refused by the next run.
    CPostgresStore::Transaction transaction(m_store);
    for (const std::string& statement : CPostgresSchema::Migration(from)) {
        m_store.Run(statement);
    }
    m_store.Run("UPDATE settings SET value = $1::text WHERE key = 'schema_version'",
                {std::to_string(CPostgresSchema::kVersion)});
    transaction.Commit();
    return "migrated the store from schema version " + std::to_string(from) + " to " +
           std::to_string(CPostgresSchema::kVersion);
}

bool CPostgresRunHistory::Add(const RunRecord& run) {
    // After a signal the server may act on the cancel request late, when the
    // statement it was sent for has ended, and cancel one of these instead.
    // A request cancels once: the next try goes through.
    const int kTries = 3;
    for (int tried = 1;; ++tried) {
        try {
            return AddOnce(run);
        } catch (const std::runtime_error&) {
            if (!m_store.IsCancelled() || tried == kTries) {
                throw;
            }
        }
    }
}

bool CPostgresRunHistory::AddOnce(const RunRecord& run) {
    // A store of schema version 1 gets the table from a real run's migration.
    if (!m_store.HasTable("run_history")) {
        return false;
    }
    CPostgresStore::Transaction transaction(m_store);
    m_store.Run(
        "INSERT INTO run_history(started_at, ended_at, status, exit_code, dry_run, operations,"
        " rows_removed, bytes_freed, bytes_returned, error) VALUES ($1::bigint, $2::bigint,"
        " $3::text, $4::bigint, $5::bigint, $6::text, $7::bigint, $8::bigint, $9::bigint,"
        " CASE WHEN $10::bigint = 1 THEN $11::text END)",
        {std::to_string(run.start), std::to_string(run.end), run.status,
         std::to_string(run.exitCode), run.dryRun ? "1" : "0", run.operations,
         std::to_string(run.rowsRemoved), std::to_string(run.bytesFreed),
         std::to_string(run.bytesReturned), run.error ? "1" : "0", run.error.value_or("")});
    // Ids only grow (the newest row is never deleted), so the kept rows are
    // those of the highest ids.
    m_store.Run(
        "DELETE FROM run_history WHERE id <= (SELECT id FROM run_history"
        " ORDER BY id DESC LIMIT 1 OFFSET $1::bigint)",
        {std::to_string(RunRecord::kKeptRows)});
    transaction.CommitAlways();
    return true;
}

std::vector<RunRecord> CPostgresRunHistory::Read(std::size_t limit) {
    std::vector<RunRecord> runs;
    if (!m_store.HasTable("run_history")) {
        return runs;
    }
    const pqxx::result rows = m_store.Run(
        "SELECT id, started_at, ended_at, status, exit_code, dry_run, operations, rows_removed,"
        " bytes_freed, bytes_returned, error FROM run_history ORDER BY id DESC LIMIT $1::bigint",
        {std::to_string(limit)});
    for (const auto& row : rows) {
        RunRecord run;
        run.id = row[0].as<std::int64_t>();
        run.start = row[1].as<std::int64_t>();
        run.end = row[2].as<std::int64_t>();
        run.status = row[3].c_str();
        run.exitCode = row[4].as<std::int64_t>();
        run.dryRun = row[5].as<std::int64_t>() != 0;
        run.operations = row[6].c_str();
        run.rowsRemoved = row[7].as<std::int64_t>();
        run.bytesFreed = row[8].as<std::int64_t>();
        run.bytesReturned = row[9].as<std::int64_t>();
        if (!row[10].is_null()) {
            run.error = std::string(row[10].c_str());
        }
        runs.push_back(run);
    }
    return runs;
}

}  // namespace Host
}  // namespace Kol
