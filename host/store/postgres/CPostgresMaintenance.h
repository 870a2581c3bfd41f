#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/report/CRunReport.h"

namespace Kol {
namespace Host {

class CPostgresStore;

// The work of the storage, indexes and backup operations that a PostgreSQL
// store does with the server's own tools: VACUUM (ANALYZE), REINDEX INDEX
// CONCURRENTLY and ANALYZE, pg_dump --format=custom verified with pg_restore
// --list. Each fills the mapper call it is given (detail, interruption).
//
// Runs on the calling thread (the module's processing thread, a
// boost::thread: a forced stop ends the work between two statements or stops
// pg_dump). Throws std::runtime_error on a database or tool failure.
class CPostgresMaintenance {
public:
    explicit CPostgresMaintenance(CPostgresStore& store);

    // VACUUM (ANALYZE) of the tables this run deleted from (log_blobs always),
    // with their sizes before and after. A dry run only reports the sizes.
    void Vacuum(CRunReport::MapperCall& call);
    // Every index of our tables rebuilt without blocking writers, then the
    // tables analysed. A dry run only counts them.
    void RebuildIndexes(CRunReport::MapperCall& call);
    // Dumps our tables to a temporary file beside the store's backup path,
    // checks it with pg_restore --list, then renames it over the backup. The
    // previous backup is replaced only by a verified one; the temporary file
    // goes on every failure. A dry run writes nothing.
    void Backup(CRunReport::MapperCall& call);

    // The libpq environment variables (PGHOST, PGPASSWORD, ...) that connect
    // a client tool as `uri` does, so that no password is on a command line.
    static std::map<std::string, std::string> ClientEnvironment(const std::string& uri);

private:
    std::int64_t TableBytes(const std::string& table);
    // What pg_dump is to dump: each table by its quoted, qualified name.
    std::vector<std::string> DumpTables();

    CPostgresStore& m_store;
};

}  // namespace Host
}  // namespace Kol
