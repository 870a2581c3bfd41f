#include "host/store/sqlite/CSqliteRunHistory.h"

#include "host/store/sqlite/CSqliteStatement.h"
#include "host/store/sqlite/CSqliteStore.h"
#include "host/store/sqlite/CSqliteTransaction.h"

namespace Kol {
namespace Host {

bool CSqliteRunHistory::Add(const RunRecord& run) {
    // A store of schema version 1 gets the table from a real run's migration.
    if (!m_store.HasTable("run_history")) {
        return false;
    }
    CSqliteTransaction transaction(m_store, CSqliteTransaction::Ending::kCommitAlways);
    CSqliteStatement insert = m_store.Prepare(
        "INSERT INTO run_history(started_at, ended_at, status, exit_code, dry_run, operations,"
        " rows_removed, bytes_freed, bytes_returned, error)"
        " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    insert.Bind(1, run.start)
        .Bind(2, run.end)
        .Bind(3, run.status)
        .Bind(4, run.exitCode)
        .Bind(5, std::int64_t(run.dryRun ? 1 : 0))
        .Bind(6, run.operations)
        .Bind(7, run.rowsRemoved)
        .Bind(8, run.bytesFreed)
        .Bind(9, run.bytesReturned);
    if (run.error) {
        insert.Bind(10, *run.error);
    } else {
        insert.BindNull(10);
    }
    insert.Run();
    // Ids only grow (the newest row is never deleted), so the kept rows are
    // those of the highest ids.
    CSqliteStatement trim = m_store.Prepare(
        "DELETE FROM run_history WHERE id <= (SELECT id FROM run_history"
        " ORDER BY id DESC LIMIT 1 OFFSET ?1)");
    trim.Bind(1, std::int64_t(RunRecord::kKeptRows)).Run();
    transaction.Commit();
    return true;
}

std::vector<RunRecord> CSqliteRunHistory::Read(std::size_t limit) {
    std::vector<RunRecord> runs;
    if (!m_store.HasTable("run_history")) {
        return runs;
    }
    CSqliteStatement select = m_store.Prepare(
        "SELECT id, started_at, ended_at, status, exit_code, dry_run, operations, rows_removed,"
        " bytes_freed, bytes_returned, error FROM run_history ORDER BY id DESC LIMIT ?1");
    select.Bind(1, static_cast<std::int64_t>(limit));
    while (select.Step()) {
        RunRecord run;
        run.id = select.GetInt64(0);
        run.start = select.GetInt64(1);
        run.end = select.GetInt64(2);
        run.status = select.GetText(3);
        run.exitCode = select.GetInt64(4);
        run.dryRun = select.GetInt64(5) != 0;
        run.operations = select.GetText(6);
        run.rowsRemoved = select.GetInt64(7);
        run.bytesFreed = select.GetInt64(8);
        run.bytesReturned = select.GetInt64(9);
        if (!select.IsNull(10)) {
            run.error = select.GetText(10);
        }
        runs.push_back(run);
    }
    return runs;
}

}  // namespace Host
}  // namespace Kol
