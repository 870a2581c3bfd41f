#include "host/store/postgres/CPostgresMaintenance.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <stdexcept>
#include <vector>

#include <libpq-fe.h>
#include <boost/thread/thread.hpp>
#include <pqxx/pqxx>

#include "host/store/CBackupCommit.h"
#include "host/store/postgres/CChildProcess.h"
#include "host/store/postgres/CPostgresPartitions.h"
#include "host/store/postgres/CPostgresStore.h"
#include "host/store/postgres/CPostgresTools.h"

namespace Kol {
namespace Host {

namespace {

// The dump holds our tables and the sequence behind logs.id, and every
// partition of logs by its name (a pattern would take in the tables of others
// that happen to match it).
const char* const kDumpTables[] = {"settings",     "logs_id_seq",    "owners",
                                   "log_blobs",    "static_objects", "enrollment_tombstones",
                                   "status_events"};

std::string LastLine(const std::string& text) {
    std::string::size_type end = text.find_last_not_of("\n ");
    if (end == std::string::npos) {
        return "no message";
    }
    const std::string::size_type start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1) + 1);
}

}  // namespace

CPostgresMaintenance::CPostgresMaintenance(CPostgresStore& store) : m_store(store) {}

std::int64_t CPostgresMaintenance::TableBytes(const std::string& table) {
    // A partitioned table has no storage of its own: its partitions do.
    return m_store
        .Run(
            "SELECT coalesce(sum(pg_catalog.pg_total_relation_size(relid)), 0) FROM"
            " pg_catalog.pg_partition_tree($1::text::regclass)",
            {m_store.Quote(table)})[0][0]
        .as<std::int64_t>();
}

std::vector<std::string> CPostgresMaintenance::DumpTables() {
    // pg_dump reads a name in double quotes literally.
    std::vector<std::string> names(std::begin(kDumpTables), std::end(kDumpTables));
    for (const auto& row : m_store.Run("SELECT c.relname FROM pg_catalog.pg_partition_tree("
                                       "'logs'::regclass) t JOIN pg_catalog.pg_class c"
                                       " ON c.oid = t.relid")) {
        names.push_back(row[0].c_str());
    }
    const std::string schema = m_store.Quote(m_store.GetSchema()) + ".";
    for (std::string& name : names) {
        name = schema + m_store.Quote(name);
    }
    return names;
}

std::int64_t CPostgresMaintenance::StoreBytes() {
    return m_store.Run("SELECT pg_catalog.pg_database_size(pg_catalog.current_database())")[0][0]
        .as<std::int64_t>();
}

IStoreMaintenance::Result CPostgresMaintenance::ReleaseSpace() {
    Result result;
    std::set<std::string> tables = m_store.GetTouchedTables();
    tables.insert("log_blobs");
    std::set<std::string> vacuumed;
    for (const std::string& table : tables) {
        // Rows deleted from a two-week partition leave their dead rows there.
        vacuumed.insert(table.rfind("logs_c", 0) == 0 ? std::string("logs") : table);
    }
    std::int64_t before = 0;
    std::int64_t after = 0;
    std::string names;
    for (const std::string& table : vacuumed) {
        if (boost::this_thread::interruption_requested()) {
            result.interrupted = true;
            return result;
        }
        const std::int64_t bytes = TableBytes(table);
        before += bytes;
        if (!m_store.IsDryRun()) {
            m_store.Run("VACUUM (ANALYZE) " + table);
        }
        after += m_store.IsDryRun() ? bytes : TableBytes(table);
        names += (names.empty() ? "" : ", ") + table;
    }
    if (before > after) {
        m_store.RecordFreed(before - after, before - after);
    }
    result.detail = std::string(m_store.IsDryRun() ? "would vacuum " : "vacuumed ") + names + ": " +
                    std::to_string(before) + " bytes before, " + std::to_string(after) + " after";
    return result;
}

IStoreMaintenance::Result CPostgresMaintenance::RebuildIndexes() {
    Result result;
    const pqxx::result indexes = m_store.Run(
        "SELECT c.relname, t.relname FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid"
        " JOIN pg_class t ON t.oid = i.indrelid JOIN pg_namespace n ON n.oid = c.relnamespace"
        " WHERE n.nspname = current_schema() AND NOT c.relispartition AND t.relname IN"
        " ('settings', 'logs', 'owners', 'log_blobs', 'static_objects',"
        " 'enrollment_tombstones', 'status_events') ORDER BY c.relname");
    std::set<std::string> tables;
    for (const auto& index : indexes) {
        tables.insert(index[1].c_str());
        if (m_store.IsDryRun()) {
            continue;
        }
        if (boost::this_thread::interruption_requested()) {
            result.interrupted = true;
            return result;
        }
        // Outside any transaction, as CONCURRENTLY needs: writers go on.
        m_store.Run(std::string("REINDEX INDEX CONCURRENTLY ") + index[0].c_str());
    }
    for (const std::string& table : tables) {
        if (boost::this_thread::interruption_requested()) {
            result.interrupted = true;
            return result;
        }
        if (!m_store.IsDryRun()) {
            m_store.Run("ANALYZE " + table);
        }
    }
    result.detail = std::string(m_store.IsDryRun() ? "would rebuild " : "rebuilt ") +
                    std::to_string(indexes.size()) + " indexes and " +
                    (m_store.IsDryRun() ? "refresh" : "refreshed") + " the statistics of " +
                    std::to_string(tables.size()) + " tables";
    return result;
}

std::map<std::string, std::string> CPostgresMaintenance::ClientEnvironment(const std::string& uri) {
    std::map<std::string, std::string> environment;
    char* error = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(uri.c_str(), &error);
    if (parsed == nullptr) {
        const std::string message = error != nullptr ? error : "cannot parse it";
        PQfreemem(error);
        throw std::runtime_error("the connection URI: " + message);
    }
    PQconninfoOption* defaults = PQconndefaults();
    for (PQconninfoOption* option = parsed; option->keyword != nullptr; ++option) {
        if (option->val == nullptr) {
            continue;
        }
        for (PQconninfoOption* known = defaults; known != nullptr && known->keyword != nullptr;
             ++known) {
            if (known->envvar != nullptr && std::strcmp(known->keyword, option->keyword) == 0) {
                environment[known->envvar] = option->val;
            }
        }
    }
    PQconninfoFree(defaults);
    PQconninfoFree(parsed);
    return environment;
}

boost::optional<std::string> CPostgresMaintenance::BackupInstallation(const std::string& path) {
    try {
        const CChildProcess::Result settings =
            CChildProcess::Run(CPostgresTools::Find("pg_restore"),
                               {"--data-only", "--table=settings", "--file=-", path}, {});
        // COPY's text form: "key<TAB>value", one row a line.
        const std::string row = "\ninstallation_uuid\t";
        const std::size_t at = settings.out.find(row);
        if (settings.exitStatus == 0 && at != std::string::npos) {
            const std::size_t from = at + row.size();
            return settings.out.substr(from, settings.out.find('\n', from) - from);
        }
    } catch (const std::exception&) {
        // No pg_restore: nothing to compare.
    }
    return boost::none;
}

IStoreMaintenance::Result CPostgresMaintenance::Backup() {
    const std::string target = m_store.GetBackupPath();
    Result result;
    if (m_store.IsDryRun()) {
        result.detail = "dry run: no backup written";
        return result;
    }
    try {
        // With no file to follow, the temporary file is readable by its owner
        // only: a dump holds every row.
        CBackupCommit commit(target, std::string());
        const std::string& temporary = commit.GetTemporary();
        std::vector<std::string> arguments{"--format=custom", "--no-password",
                                           "--file=" + temporary};
        for (const std::string& table : DumpTables()) {
            arguments.push_back("--table=" + table);
        }
        const std::map<std::string, std::string> environment = ClientEnvironment(m_store.GetUri());
        const CChildProcess::Result dump =
            CChildProcess::Run(CPostgresTools::Find("pg_dump"), arguments, environment);
        if (dump.interrupted) {
            result.interrupted = true;
            return result;
        }
        if (dump.exitStatus != 0) {
            throw std::runtime_error("pg_dump: " + LastLine(dump.err));
        }
        const CChildProcess::Result list = CChildProcess::Run(CPostgresTools::Find("pg_restore"),
                                                              {"--list", temporary}, environment);
        if (list.exitStatus != 0 || list.out.find("TABLE DATA") == std::string::npos) {
            throw std::runtime_error("pg_restore --list does not read the dump: " +
                                     LastLine(list.err));
        }
        const std::int64_t size = commit.Commit();
        result.detail = "wrote " + std::to_string(size) + " bytes to " + target +
                        " (pg_dump custom format, read back with pg_restore --list)";
    } catch (const std::exception& e) {
        throw std::runtime_error("backup to " + target + " failed: " + e.what());
    }
    return result;
}

IStoreMaintenance::Result CPostgresMaintenance::DropOldLogs(const Cutoffs& cutoffs,
                                                            std::size_t batchRows,
                                                            const ProgressObserver& progress) {
    CPostgresPartitions partitions(m_store);
    CPostgresPartitions::Dropped total;
    Result result;
    for (int k = 1; k <= 5 && !result.interrupted; ++k) {
        const std::int64_t cutoff = cutoffs[k - 1];
        const CPostgresPartitions::Dropped dropped = partitions.DropBefore(k, cutoff);
        result.rows += dropped.rows;
        if (progress) {
            Progress now;
            now.rows = result.rows;
            progress(now);
        }
        result.warnings.insert(result.warnings.end(), dropped.warnings.begin(),
                               dropped.warnings.end());
        total.partitions += dropped.partitions;
        total.rows += dropped.rows;
        if (!m_store.IsDryRun()) {
            m_store.RecordFreed(dropped.bytes, dropped.bytes);
        }
        if (dropped.interrupted) {
            result.interrupted = true;
            break;
        }
        // Only the span that straddles the cut-off and the default
        // partition are thinned out row by row.
        for (const CPostgresPartitions::Partition& partition : partitions.List(k)) {
            if (partition.isDefault || (partition.from < cutoff && cutoff < partition.to)) {
                ThinOut(partition.name, cutoff, batchRows, progress, result);
                if (result.interrupted) {
                    break;
                }
            }
        }
    }
    result.detail = std::string(m_store.IsDryRun() ? "would drop " : "dropped ") +
                    std::to_string(total.partitions) + " partitions holding " +
                    std::to_string(total.rows) + " rows";
    return result;
}

void CPostgresMaintenance::ThinOut(const std::string& table, std::int64_t cutoff,
                                   std::size_t batchRows, const ProgressObserver& progress,
                                   Result& result) {
    const IStore::DeletePlan plan{table, "created_at < $1", {cutoff}};
    const std::uint64_t before = result.rows;
    const IStore::DeleteResult deleted = m_store.DeleteInBatches(
        plan, batchRows, [&progress, before](const IStore::DeleteResult& soFar) {
            if (progress) {
                Progress now;
                now.rows = before + soFar.rows;
                now.walkBatches = soFar.batches;
                now.walkRows = soFar.rows;
                progress(now);
            }
        });
    result.rows = before + deleted.rows;
    result.interrupted = deleted.interrupted;
}

}  // namespace Host
}  // namespace Kol
