#include "host/store/postgres/CPostgresMaintenance.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include <libpq-fe.h>
#include <boost/thread/thread.hpp>
#include <pqxx/pqxx>

#include "host/store/CBackupCommit.h"
#include "host/store/postgres/CChildProcess.h"
#include "host/store/postgres/CPostgresPartitions.h"
#include "host/store/postgres/CPostgresSchema.h"
#include "host/store/postgres/CPostgresStore.h"
#include "host/store/postgres/CPostgresTools.h"

namespace Kol {
namespace Host {

namespace {

// The dump holds our tables and the sequence behind logs.id, and every
// partition of logs by its name (a pattern would take in the tables of others
// that happen to match it).
const char* const kDumpTables[] = {"settings",      "logs_id_seq",    "owners",
                                   "log_blobs",     "static_objects", "enrollment_tombstones",
                                   "status_events", "run_history"};

// A leftover of a REINDEX CONCURRENTLY that did not finish: the copy it was
// building ("_ccnew") or the old index it was to drop ("_ccold").
const char* const kLeftover = "_cc(new|old)[0-9]*$";
// SQLSTATE query_canceled: a signal stops the work.
const char* const kQueryCanceled = "57014";

// Why a client tool failed, from its standard error: its "error:" line and
// the detail and hint lines after it ("pg_dump: error: query failed: ...;
// detail: Query was: ..."), else its last line.
std::string Why(const std::string& err, const std::string& tool) {
    std::string why;
    std::string last = "no message";
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(tool + ": ", 0) == 0) {
            line = line.substr(tool.size() + 2);
        }
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        last = line;
        if (line.rfind("error: ", 0) == 0) {
            why = line.substr(7);
        } else if (!why.empty()) {
            why += "; " + line;
        }
    }
    return tool + ": " + (why.empty() ? last : why);
}

}  // namespace

CPostgresMaintenance::CPostgresMaintenance(CPostgresStore& store) : m_store(store) {}

std::int64_t CPostgresMaintenance::TableBytes(const std::string& table) {
    // A partitioned table has no storage of its own: its partitions do. A
    // plain one has no partition tree (no row): its own size.
    return m_store
        .Run(
            "SELECT coalesce((SELECT sum(pg_catalog.pg_total_relation_size(relid)) FROM"
            " pg_catalog.pg_partition_tree($1::text::regclass) WHERE level > 0),"
            " pg_catalog.pg_total_relation_size($1::text::regclass))::bigint",
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

CStoreDescription CPostgresMaintenance::Describe() {
    CStoreDescription description;
    description.kind = "postgresql";
    description.schemaVersion = std::stoll(m_store.GetSetting("schema_version").value_or("0"));
    description.bytes = StoreBytes();
    std::int64_t partitions = 0;
    std::int64_t defaultRows = 0;
    CPostgresPartitions logs(m_store);
    for (int k = 1; k <= 5; ++k) {
        if (!m_store.HasTable(CPostgresPartitions::ClassTable(k))) {
            continue;
        }
        description.classBytes[k - 1] = TableBytes(CPostgresPartitions::ClassTable(k));
        for (const CPostgresPartitions::Partition& partition : logs.List(k)) {
            if (partition.isDefault) {
                defaultRows +=
                    m_store.QueryInt64("SELECT count(*) FROM " + m_store.Quote(partition.name));
            } else {
                ++partitions;
            }
        }
    }
    description.logPartitions = partitions;
    description.defaultPartitionRows = defaultRows;
    return description;
}

std::int64_t CPostgresMaintenance::LimitedBytes() {
    return TableBytes("logs") + TableBytes("log_blobs");
}

std::int64_t CPostgresMaintenance::AvailableBytes() {
    return -1;
}

bool CPostgresMaintenance::CanShrink() {
    return true;  // a vacuum returns a table's empty trailing pages, a drop all of it
}

bool CPostgresMaintenance::KeepsDeletedSpace() {
    return true;
}

std::vector<IStoreMaintenance::WholePart> CPostgresMaintenance::WholeParts() {
    std::vector<std::pair<int, WholePart>> parts;
    for (int k = 1; k <= 5; ++k) {
        const pqxx::result rows = m_store.Run(
            "SELECT pg_catalog.pg_get_expr(c.relpartbound, c.oid),"
            " pg_catalog.pg_total_relation_size(c.oid)"
            " FROM pg_catalog.pg_inherits i JOIN pg_catalog.pg_class c ON c.oid = i.inhrelid"
            " WHERE i.inhparent = pg_catalog.to_regclass($1::text)",
            {m_store.Quote(CPostgresPartitions::ClassTable(k))});
        for (const auto& row : rows) {
            WholePart part;
            if (CPostgresPartitions::ParseSpanBound(row[0].c_str(), part.from, part.to)) {
                part.bytes = row[1].as<std::int64_t>();
                parts.emplace_back(k, part);
            }
        }
    }
    std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) {
        return std::make_pair(a.second.to, a.first) < std::make_pair(b.second.to, b.first);
    });
    std::vector<WholePart> sorted;
    for (const auto& part : parts) {
        sorted.push_back(part.second);
    }
    return sorted;
}

IStoreMaintenance::Result CPostgresMaintenance::DropWholeParts(std::int64_t cut) {
    CPostgresPartitions partitions(m_store);
    Result result;
    try {
        std::vector<CPostgresPartitions::Partition> old;
        for (int k = 1; k <= 5; ++k) {
            for (const CPostgresPartitions::Partition& partition : partitions.List(k)) {
                if (!partition.isDefault && partition.to <= cut) {
                    old.push_back(partition);
                }
            }
        }
        std::stable_sort(old.begin(), old.end(),
                         [](const auto& a, const auto& b) { return a.to < b.to; });
        const CPostgresPartitions::Dropped dropped = partitions.DropOldestFirst(old);
        result.rows = dropped.rows;
        result.warnings = dropped.warnings;
        result.interrupted = dropped.interrupted;
        if (!m_store.IsDryRun()) {
            m_store.RecordFreed(dropped.bytes, dropped.bytes);
        }
        result.detail = std::string(m_store.IsDryRun() ? "would drop " : "dropped ") +
                        std::to_string(dropped.partitions) + " partitions holding " +
                        std::to_string(dropped.rows) + " logs";
    } catch (const std::runtime_error&) {
        // A signal cut a partition list short: nothing of this call was dropped.
        if (!m_store.IsCancelled()) {
            throw;
        }
        result.interrupted = true;
    }
    return result;
}

std::int64_t CPostgresMaintenance::EstimateReturnedBytes(std::int64_t freedInside) {
    // An upper bound: whole partitions dropped return all of it, a vacuum of
    // a kept one only the empty pages at its end.
    return freedInside;
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
        if (!m_store.IsDryRun() && !Vacuum(table, result)) {
            continue;
        }
        before += bytes;
        after += m_store.IsDryRun() ? bytes : TableBytes(table);
        names += (names.empty() ? "" : ", ") + table;
    }
    if (before > after) {
        m_store.RecordFreed(before - after, before - after);
    }
    result.detail = std::string(m_store.IsDryRun() ? "would vacuum " : "vacuumed ") +
                    (names.empty() ? std::string("no table")
                                   : names + ": " + std::to_string(before) + " bytes before, " +
                                         std::to_string(after) + " after");
    return result;
}

bool CPostgresMaintenance::Vacuum(const std::string& table, Result& result) {
    // The server skips a table it may not vacuum (another role's, one it
    // cannot lock) with a warning only, and the statement succeeds.
    std::vector<std::string> notices;
    m_store.RunWithNotices("VACUUM (ANALYZE) " + table, notices);
    bool vacuumed = true;
    for (const std::string& notice : notices) {
        const bool skipped = notice.find("skipping") != std::string::npos;
        vacuumed = vacuumed && !skipped;
        result.warnings.push_back(table + (skipped ? " not vacuumed: " : " vacuumed: ") + notice);
    }
    return vacuumed;
}

void CPostgresMaintenance::DropLeftoverIndexes(Result& result) {
    // Invalid copies next to an index of the same name without the suffix,
    // on our tables and the partitions of logs: a cancelled rebuild's, which
    // only slow every write down.
    const pqxx::result leftovers = m_store.Run(
        "SELECT c.relname FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid"
        " JOIN pg_class t ON t.oid = i.indrelid WHERE NOT i.indisvalid"
        " AND c.relnamespace = $1::text::regnamespace AND c.relname ~ $2::text"
        " AND (t.relname = ANY ($3::text[]) AND t.relnamespace = c.relnamespace"
        " OR t.oid IN (SELECT relid FROM pg_partition_tree($4::text::regclass)))"
        " AND EXISTS (SELECT 1 FROM pg_index o JOIN pg_class oc ON oc.oid = o.indexrelid"
        " WHERE o.indrelid = i.indrelid AND oc.relname = regexp_replace(c.relname, $2::text, ''))"
        " ORDER BY 1",
        {m_store.Quote(m_store.GetSchema()), kLeftover, CPostgresSchema::TablesArray(),
         m_store.Quote(m_store.GetSchema()) + "." + m_store.Quote("logs")});
    for (const auto& leftover : leftovers) {
        const std::string name = leftover[0].c_str();
        try {
            m_store.Run("DROP INDEX CONCURRENTLY IF EXISTS " + m_store.Quote(m_store.GetSchema()) +
                        "." + m_store.Quote(name));
        } catch (const pqxx::sql_error& e) {
            result.warnings.push_back("invalid index " + name +
                                      " left for a later run: " + e.what());
        }
    }
}

IStoreMaintenance::Result CPostgresMaintenance::RebuildIndexes() {
    Result result;
    if (!m_store.IsDryRun()) {
        DropLeftoverIndexes(result);
    }
    const pqxx::result indexes = m_store.Run(
        "SELECT c.relname, t.relname, i.indisvalid FROM pg_index i"
        " JOIN pg_class c ON c.oid = i.indexrelid JOIN pg_class t ON t.oid = i.indrelid"
        " WHERE c.relnamespace = $1::text::regnamespace AND t.relnamespace = c.relnamespace"
        " AND NOT c.relispartition AND t.relname = ANY ($2::text[]) ORDER BY c.relname",
        {m_store.Quote(m_store.GetSchema()), CPostgresSchema::TablesArray()});
    std::set<std::string> tables;
    std::size_t rebuilt = 0;
    for (const auto& index : indexes) {
        tables.insert(index[1].c_str());
        if (boost::this_thread::interruption_requested()) {
            result.interrupted = true;
            return result;
        }
        rebuilt += m_store.IsDryRun() ? index[2].as<bool>() : Rebuild(index[0].c_str(), result);
    }
    if (!m_store.IsDryRun() && rebuilt < indexes.size()) {
        DropLeftoverIndexes(result);
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
                    std::to_string(rebuilt) + " indexes and " +
                    (m_store.IsDryRun() ? "refresh" : "refreshed") + " the statistics of " +
                    std::to_string(tables.size()) + " tables";
    return result;
}

bool CPostgresMaintenance::Rebuild(const std::string& index, Result& result) {
    const std::string name = m_store.Quote(m_store.GetSchema()) + "." + m_store.Quote(index);
    // Outside any transaction, as CONCURRENTLY needs: writers go on. One
    // that fails (another role's unique index over duplicates, a lock not
    // granted) is left as it was, with the copy it was building.
    std::vector<std::string> notices;
    try {
        m_store.RunWithNotices("REINDEX INDEX CONCURRENTLY " + name, notices);
    } catch (const pqxx::sql_error& e) {
        if (e.sqlstate() == kQueryCanceled) {
            throw;
        }
        result.warnings.push_back("index " + index + " not rebuilt: " + e.what());
        return false;
    }
    if (m_store
            .Run("SELECT indisvalid FROM pg_index WHERE indexrelid = $1::text::regclass",
                 {name})[0][0]
            .as<bool>()) {
        return true;
    }
    result.warnings.push_back("index " + index + " not rebuilt: invalid, " +
                              (notices.empty() ? std::string("no reason given") : notices[0]));
    return false;
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
            throw std::runtime_error(Why(dump.err, "pg_dump"));
        }
        const CChildProcess::Result list = CChildProcess::Run(CPostgresTools::Find("pg_restore"),
                                                              {"--list", temporary}, environment);
        if (list.exitStatus != 0 || list.out.find("TABLE DATA") == std::string::npos) {
            throw std::runtime_error("pg_restore --list does not read the dump: " +
                                     Why(list.err, "pg_restore"));
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
    try {
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
    } catch (const std::runtime_error&) {
        // A signal cut a statement between the steps short (a partition
        // list, a count): what was removed before stays counted.
        if (!m_store.IsCancelled()) {
            throw;
        }
        result.interrupted = true;
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
