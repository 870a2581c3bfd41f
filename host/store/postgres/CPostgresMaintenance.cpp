#include "host/store/postgres/CPostgresMaintenance.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <stdexcept>
#include <vector>

#include <libpq-fe.h>
#include <boost/thread/thread.hpp>
#include <pqxx/pqxx>

#include "host/store/postgres/CChildProcess.h"
#include "host/store/postgres/CPostgresTools.h"
#include "host/store/postgres/CPostgresStore.h"

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

void Sync(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0) {
        ::close(fd);
    }
    if (!synced) {
        throw std::runtime_error("cannot sync " + path + ": " + std::strerror(error));
    }
}

std::string FolderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
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

void CPostgresMaintenance::Vacuum(CRunReport::MapperCall& call) {
    std::set<std::string> tables = m_store.GetTouchedTables();
    tables.insert("log_blobs");
    std::set<std::string> vacuumed;
    for (const std::string& table : tables) {
        // Rows deleted from a weekly partition leave their dead rows there.
        vacuumed.insert(table.rfind("logs_c", 0) == 0 ? std::string("logs") : table);
    }
    std::int64_t before = 0;
    std::int64_t after = 0;
    std::string names;
    for (const std::string& table : vacuumed) {
        if (boost::this_thread::interruption_requested()) {
            call.interrupted = true;
            return;
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
    call.detail += (call.detail.empty() ? "" : "; ") +
                   std::string(m_store.IsDryRun() ? "would vacuum " : "vacuumed ") + names + ": " +
                   std::to_string(before) + " bytes before, " + std::to_string(after) + " after";
}

void CPostgresMaintenance::RebuildIndexes(CRunReport::MapperCall& call) {
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
            call.interrupted = true;
            return;
        }
        // Outside any transaction, as CONCURRENTLY needs: writers go on.
        m_store.Run(std::string("REINDEX INDEX CONCURRENTLY ") + index[0].c_str());
    }
    for (const std::string& table : tables) {
        if (boost::this_thread::interruption_requested()) {
            call.interrupted = true;
            return;
        }
        if (!m_store.IsDryRun()) {
            m_store.Run("ANALYZE " + table);
        }
    }
    call.detail = std::string(m_store.IsDryRun() ? "would rebuild " : "rebuilt ") +
                  std::to_string(indexes.size()) + " indexes and " +
                  (m_store.IsDryRun() ? "refresh" : "refreshed") + " the statistics of " +
                  std::to_string(tables.size()) + " tables";
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

void CPostgresMaintenance::Backup(CRunReport::MapperCall& call) {
    const std::string target = m_store.GetBackupPath();
    if (m_store.IsDryRun()) {
        call.detail = "dry run: no backup written";
        return;
    }
    std::string temporary = target + ".tmp-XXXXXX";
    // mkstemp makes the file readable by its owner only: a dump holds every row.
    const int fd = ::mkstemp(&temporary[0]);
    if (fd < 0) {
        throw std::runtime_error("backup to " + target + " failed: cannot create " + temporary +
                                 ": " + std::strerror(errno));
    }
    ::close(fd);
    try {
        std::vector<std::string> arguments{"--format=custom", "--no-password",
                                           "--file=" + temporary};
        for (const std::string& table : DumpTables()) {
            arguments.push_back("--table=" + table);
        }
        const std::map<std::string, std::string> environment = ClientEnvironment(m_store.GetUri());
        const CChildProcess::Result dump =
            CChildProcess::Run(CPostgresTools::Find("pg_dump"), arguments, environment);
        if (dump.interrupted) {
            std::remove(temporary.c_str());
            call.interrupted = true;
            return;
        }
        if (dump.exitStatus != 0) {
            throw std::runtime_error("pg_dump: " + LastLine(dump.err));
        }
        const CChildProcess::Result list = CChildProcess::Run(
            CPostgresTools::Find("pg_restore"), {"--list", temporary}, environment);
        if (list.exitStatus != 0 || list.out.find("TABLE DATA") == std::string::npos) {
            throw std::runtime_error("pg_restore --list does not read the dump: " +
                                     LastLine(list.err));
        }
        Sync(temporary, O_RDONLY);
        if (std::rename(temporary.c_str(), target.c_str()) != 0) {
            throw std::runtime_error("cannot rename " + temporary + ": " + std::strerror(errno));
        }
        Sync(FolderOf(target), O_RDONLY | O_DIRECTORY);
        struct stat status {};
        const long long size = ::stat(target.c_str(), &status) == 0 ? status.st_size : 0;
        call.detail = "wrote " + std::to_string(size) + " bytes to " + target +
                      " (pg_dump custom format, read back with pg_restore --list)";
    } catch (const std::exception& e) {
        std::remove(temporary.c_str());
        throw std::runtime_error("backup to " + target + " failed: " + e.what());
    }
}

}  // namespace Host
}  // namespace Kol
