#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <boost/optional.hpp>

#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

class CPostgresStore;

// The PostgreSQL store's maintenance (IStoreMaintenance), done with the
// server's own tools:
// - space: VACUUM (ANALYZE) of the tables this run deleted from (log_blobs
//   always), with their sizes before and after; a table the server skips
//   (another role's) is a warning, not counted; a dry run only reports them;
// - indexes: the invalid leftovers of a cancelled rebuild dropped, then
//   every index of our tables rebuilt without blocking writers (REINDEX
//   INDEX CONCURRENTLY), counted when valid afterwards (else a warning), and
//   the tables analysed; a dry run only counts the valid ones;
// - backup: pg_dump --format=custom of our tables into a temporary file
//   beside the backup path, checked with pg_restore --list, then committed
//   over the backup (CBackupCommit); a dry run writes nothing;
// - old logs: the partitions wholly before a cut-off are dropped, and only
//   the one that straddles it and the default partition lose rows one batch
//   at a time: the cost follows the partitions, not the rows.
//
// Owned by its store and used on the store's thread (the module's processing
// thread, a boost::thread: a forced stop ends the work between two
// statements or stops pg_dump). See IStoreMaintenance for errors.
class CPostgresMaintenance : public IStoreMaintenance {
public:
    explicit CPostgresMaintenance(CPostgresStore& store);

    Result ReleaseSpace() override;
    Result RebuildIndexes() override;
    Result Backup() override;
    Result DropOldLogs(const Cutoffs& cutoffs, std::size_t batchRows,
                       const ProgressObserver& progress) override;
    std::int64_t StoreBytes() override;
    std::int64_t TableBytes(const std::string& table) override;
    std::int64_t EstimateReturnedBytes(std::int64_t freedInside) override;
    std::int64_t LimitedBytes() override;
    std::int64_t AvailableBytes() override;
    bool CanShrink() override;
    bool KeepsDeletedSpace() override;
    std::vector<WholePart> WholeParts() override;
    Result DropWholeParts(std::int64_t cut) override;
    CStoreDescription Describe() override;

    // The libpq environment variables (PGHOST, PGPASSWORD, ...) that connect
    // a client tool as `uri` does, so that no password is on a command line.
    static std::map<std::string, std::string> ClientEnvironment(const std::string& uri);
    // The installation UUID (the settings row installation_uuid) an existing
    // dump at `path` holds, read with pg_restore; none when it holds none or
    // cannot be read. Reads only. Any thread.
    static boost::optional<std::string> BackupInstallation(const std::string& path);

private:
    // VACUUM (ANALYZE) of `table`; false when the server skipped it. Its
    // warnings go to `result`.
    bool Vacuum(const std::string& table, Result& result);
    // Drops the invalid copies a cancelled REINDEX CONCURRENTLY left of our
    // indexes; one that cannot go is a warning in `result`.
    void DropLeftoverIndexes(Result& result);
    // REINDEX INDEX CONCURRENTLY of our `index`; true when it is valid
    // afterwards, else a warning in `result`.
    bool Rebuild(const std::string& index, Result& result);
    // What pg_dump is to dump: each table by its quoted, qualified name.
    std::vector<std::string> DumpTables();
    // Deletes the rows of `table` created before `cutoff` in batches, adding
    // them to `result` and telling `progress`.
    void ThinOut(const std::string& table, std::int64_t cutoff, std::size_t batchRows,
                 const ProgressObserver& progress, Result& result);

    CPostgresStore& m_store;
};

}  // namespace Host
}  // namespace Kol
