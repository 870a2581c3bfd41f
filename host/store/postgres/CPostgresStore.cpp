#include "host/store/postgres/CPostgresStore.h"

#include <unistd.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <thread>
#include <utility>

#include <libpq-fe.h>
#include <boost/thread/thread.hpp>
#include <pqxx/pqxx>

#include "host/store/CBatchedDelete.h"
#include "host/store/CStoreFiles.h"
#include "host/store/CStoreIdentity.h"
#include "host/store/postgres/CPostgresDeleteWalk.h"
#include "host/store/postgres/CPostgresLayout.h"
#include "host/store/postgres/CPostgresMaintenance.h"
#include "host/store/postgres/CPostgresNoticeCollector.h"
#include "host/store/postgres/CPostgresPartitions.h"
#include "host/store/postgres/CPostgresRowWriter.h"
#include "host/store/postgres/CPostgresRunHistory.h"
#include "host/store/postgres/CPostgresSchema.h"
#include "host/store/postgres/CPostgresUri.h"

namespace Kol {
namespace Host {

namespace {

// The advisory lock every cleanup-agent takes on its database.
const std::int64_t kLockKey = 0x4B4F4C43;
const std::chrono::milliseconds kLockPoll(100);
// The pauses of a DDL statement between its tries for a lock: the first,
// doubled after each try up to the longest.
const std::chrono::milliseconds kDdlFirstPause(25);
const std::chrono::milliseconds kDdlLongestPause(1000);
// SQLSTATEs: lock_not_available (a lock timeout ran out), query_canceled.
const char* const kLockNotAvailable = "55P03";
const char* const kQueryCanceled = "57014";
// How long the connection that asks why a session was lost may take.
const char* const kProbeSeconds = "10";

// A lock_timeout value: 0 turns the timeout off in PostgreSQL, so
// --busy-timeout 0 ("do not wait") becomes the shortest one.
std::string LockTimeout(std::chrono::milliseconds timeout) {
    return "'" + std::to_string(std::max<std::int64_t>(1, timeout.count())) + "ms'";
}

// Between half and one and a half of `pause`, at random.
std::chrono::milliseconds Jittered(std::chrono::milliseconds pause) {
    thread_local std::minstd_rand random(std::random_device{}());
    std::uniform_int_distribution<std::int64_t> draw(pause.count() / 2, pause.count() * 3 / 2);
    return std::chrono::milliseconds(draw(random));
}

// Runs `sql` on a libpq connection of its own; throws with the server's message.
void Session(pg_conn* connection, const std::string& sql) {
    PGresult* result = PQexec(connection, sql.c_str());
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    if (!ok) {
        throw std::runtime_error(CPostgresUri::OneLine(PQerrorMessage(connection)));
    }
}

}  // namespace

const std::int64_t CPostgresStore::kSchemaVersion = CPostgresSchema::kVersion;

CPostgresStore::CPostgresStore(const StoreOptions& options)
    : m_uri(options.db),
      m_name(m_uri.GetMasked()),
      m_backupPath(options.backup.empty() ? std::string() : CStoreFiles::RealPath(options.backup)),
      m_dryRun(options.dryRun || options.readOnly),
      m_readOnly(options.readOnly),
      m_busyTimeout(options.busyTimeout),
      m_lockTimeout(options.lockTimeout),
      m_empty(false),
      m_bulk(nullptr, &PQfinish),
      m_bulkCancel(nullptr, &PQfreeCancel) {
    try {
        Open(options);
    } catch (const std::invalid_argument&) {
        throw;
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot open store " + m_name + ": " + Masked(e.what()));
    }
}

CPostgresStore::~CPostgresStore() {
    m_work.reset();
    const std::lock_guard<std::mutex> lock(m_cancelMutex);
    m_bulkCancel.reset();
    m_bulk.reset();
    // Closing the session lets go of the advisory lock too, but only once
    // the server has seen the close: a run started right after this one
    // (a script's next line) would find the lock still held.
    if (m_locked && m_lost.empty()) {
        try {
            pqxx::nontransaction(*m_connection)
                .exec_params("SELECT pg_catalog.pg_advisory_unlock($1::bigint)", kLockKey);
        } catch (const std::exception&) {
            // The session is going anyway.
        }
    }
    m_connection.reset();
}

void CPostgresStore::Cancel() noexcept {
    m_cancelled = true;
    const std::lock_guard<std::mutex> lock(m_cancelMutex);
    try {
        if (m_connection) {
            m_connection->cancel_query();
        }
    } catch (const std::exception&) {
        // Nothing in flight, or the server gone: the statement ends anyway.
    }
    char error[256];
    if (m_bulkCancel) {
        PQcancel(m_bulkCancel.get(), error, sizeof error);
    }
}

std::string CPostgresStore::Masked(const std::string& message) const {
    return m_uri.Tell(message);
}

void CPostgresStore::Open(const StoreOptions& options) {
    {
        std::unique_ptr<pqxx::connection> connection(new pqxx::connection(m_uri.GetText()));
        const std::lock_guard<std::mutex> lock(m_cancelMutex);
        m_connection = std::move(connection);
    }
    KeepSession();
    // Names resolve in the store's schema only, and pg_catalog, not named,
    // comes before it: a function or operator another role puts in a
    // writable schema never stands in for a built-in one (parameters are
    // typed, so no overload matches better either).
    const pqxx::result schema = Run("SELECT pg_catalog.current_schema()");
    if (schema[0][0].is_null()) {
        throw std::invalid_argument(m_name + " has no schema to hold a store (see search_path)");
    }
    m_schema = schema[0][0].c_str();
    // No JIT: a count or delete over hundreds of small partitions looks
    // costly enough to the planner that compiling each partition's filter
    // takes far longer (tens of seconds) than running it.
    m_session = "SET search_path = " + m_connection->quote_name(m_schema) +
                ", pg_temp; SET application_name = 'cleanup-agent pid " +
                std::to_string(::getpid()) + "'; SET lock_timeout = " + LockTimeout(m_busyTimeout) +
                "; SET statement_timeout = 0; SET jit = off" +
                (m_readOnly ? "; SET default_transaction_read_only = on" : "");
    pqxx::nontransaction(*m_connection).exec(m_session);
    if (m_readOnly) {
        // Reading takes no lock and passes no judgement on the backup.
        CheckIdentity(false);
        CPostgresLayout(*this).Check(m_version);
        return;
    }
    CheckWritable();
    TakeLock(options);
    if (m_backupPath.empty()) {
        m_backupPath = CStoreFiles::RealPath(GetDatabase() + ".dump");
    }
    CStoreFiles::CheckChosenDump(m_backupPath);
    m_empty = CheckIdentity(options.create);
    if (!m_empty) {
        CPostgresLayout layout(*this);
        layout.Check(m_version);
        if (!options.allowOtherOwner) {
            layout.CheckOwners();
        }
    }
    if (CStoreFiles::IsRegularFile(m_backupPath)) {
        CStoreFiles::CheckSameInstallation(m_backupPath,
                                           m_empty ? boost::none : GetSetting("installation_uuid"),
                                           CPostgresMaintenance::BackupInstallation(m_backupPath));
    }
}

void CPostgresStore::FinishOpening() {
    if (m_readOnly) {
        throw std::logic_error("a store opened to read only takes no first writes");
    }
    if (m_dryRun) {
        return;
    }
    try {
        if (m_empty) {
            WriteSchema();
            m_openNote =
                "created a new store (schema version " + std::to_string(kSchemaVersion) + ")";
        } else if (m_version < kSchemaVersion) {
            m_openNote = CPostgresRunHistory(*this).Migrate(m_version);
        }
        const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
        CPostgresPartitions(*this).Prepare(now, now);
    } catch (const std::invalid_argument&) {
        throw;
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot open store " + m_name + ": " + Masked(e.what()));
    }
}

void CPostgresStore::CheckWritable() {
    const pqxx::result state =
        Run("SELECT pg_catalog.pg_is_in_recovery(),"
            " pg_catalog.current_setting('default_transaction_read_only')::bool");
    if (state[0][0].as<bool>() || state[0][1].as<bool>()) {
        throw std::invalid_argument(
            m_name + " is read-only (" +
            (state[0][0].as<bool>() ? "a hot standby" : "default_transaction_read_only is on") +
            "): a cleanup needs the primary");
    }
}

void CPostgresStore::TakeLock(const StoreOptions& options) {
    const auto deadline = std::chrono::steady_clock::now() + options.wait;
    for (;;) {
        if (Run("SELECT pg_catalog.pg_try_advisory_lock($1::bigint)",
                {std::to_string(kLockKey)})[0][0]
                .as<bool>()) {
            m_locked = true;
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline ||
            (options.stopWaiting && options.stopWaiting())) {
            const pqxx::result holder =
                Run("SELECT a.application_name FROM pg_catalog.pg_locks l"
                    " JOIN pg_catalog.pg_stat_activity a ON a.pid = l.pid"
                    " WHERE l.locktype = 'advisory' AND l.granted AND l.objid = $1::bigint::oid"
                    " AND l.database = (SELECT oid FROM pg_catalog.pg_database"
                    " WHERE datname = pg_catalog.current_database())",
                    {std::to_string(kLockKey)});
            std::string who = holder.empty() ? std::string() : holder[0][0].c_str();
            const std::string prefix = "cleanup-agent ";
            who = who.rfind(prefix, 0) == 0 ? who.substr(prefix.size()) : "pid unknown";
            // A refusal like the others: nothing was read or written.
            throw std::invalid_argument("another cleanup-agent (" + who + ") is cleaning " +
                                        m_name);
        }
        std::this_thread::sleep_for(kLockPoll);
    }
}

bool CPostgresStore::CheckIdentity(bool create) {
    const std::int64_t tables = QueryInt64(
        "SELECT count(*) FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n"
        " ON n.oid = c.relnamespace WHERE n.nspname = pg_catalog.current_schema() AND c.relkind IN "
        "('r', 'p', 'v', 'm', 'f')");
    if (tables == 0) {
        if (!create) {
            throw std::invalid_argument("no store in " + m_name +
                                        (m_readOnly ? "" : " (use --create to make one)"));
        }
        return true;
    }
    const boost::optional<std::string> id =
        HasTable("settings") ? GetSetting("application_id") : boost::none;
    if (!id || *id != std::to_string(CStoreIdentity::kApplicationId)) {
        throw std::invalid_argument(m_name + " is not a cleanup-agent store");
    }
    const boost::optional<std::string> version = GetSetting("schema_version");
    m_version = version == std::string("1") ? 1 : kSchemaVersion;  // 1: migrated when writing
    if (!version || (*version != "1" && *version != std::to_string(kSchemaVersion))) {
        throw std::invalid_argument(m_name + " was made by another cleanup-agent (schema version " +
                                    version.value_or("none") + "; this one knows 1 to " +
                                    std::to_string(kSchemaVersion) + ")");
    }
    CPostgresLayout(*this).CheckForeignObjects();
    return false;
}

void CPostgresStore::WriteSchema() {
    Transaction transaction(*this);
    for (const std::string& statement : CPostgresSchema::Statements()) {
        Run(statement);
    }
    Run("INSERT INTO settings(key, value) VALUES ('application_id', $1::text),"
        " ('schema_version', $2::text)",
        {std::to_string(CStoreIdentity::kApplicationId), std::to_string(kSchemaVersion)});
    transaction.CommitAlways();
}

std::string CPostgresStore::GetDatabase() {
    return Run("SELECT pg_catalog.current_database()")[0][0].c_str();
}

pqxx::result CPostgresStore::Run(const std::string& sql,
                                 const std::vector<std::string>& parameters) {
    CheckConnected();
    try {
        if (m_cancelled) {
            // After a signal nothing waits for a lock: the run is ending.
            if (m_work) {
                m_work->exec("SET lock_timeout = 1");
            } else {
                pqxx::nontransaction(*m_connection).exec("SET lock_timeout = 1");
            }
        }
        if (m_work) {
            return m_work->exec_params(sql, pqxx::prepare::make_dynamic_params(parameters));
        }
        pqxx::nontransaction statement(*m_connection);
        return statement.exec_params(sql, pqxx::prepare::make_dynamic_params(parameters));
    } catch (const pqxx::failure& e) {
        Fail(e);
    }
}

pqxx::result CPostgresStore::RunWithNotices(const std::string& sql,
                                            std::vector<std::string>& notices) {
    CheckConnected();
    CPostgresNoticeCollector collector(*m_connection, notices);
    return Run(sql);
}

void CPostgresStore::CheckConnected() const {
    if (!m_lost.empty()) {
        throw std::runtime_error(m_lost);
    }
}

std::string CPostgresStore::WhyLost() const {
    // A session of its own, reading nothing; bounded, for a host that no
    // longer answers.
    const char* const keys[] = {"dbname", "connect_timeout", nullptr};
    const char* const values[] = {m_uri.GetText().c_str(), kProbeSeconds, nullptr};
    pg_conn* const probe = PQconnectdbParams(keys, values, 1);
    const bool up = PQstatus(probe) == CONNECTION_OK;
    const std::string why = up ? "the server ended the session (terminated by an administrator or "
                                 "the server restarted)"
                               : Masked(PQerrorMessage(probe));
    PQfinish(probe);
    return why;
}

void CPostgresStore::KeepSession() {
    // libpqxx would quietly open a new session on the next statement after
    // a lost one: without our lock and settings. Refused instead (Fail).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    m_connection->inhibit_reactivation(true);
#pragma GCC diagnostic pop
}

void CPostgresStore::Fail(const pqxx::failure& error) {
    const pqxx::sql_error* const sql = dynamic_cast<const pqxx::sql_error*>(&error);
    const std::string state = sql != nullptr ? sql->sqlstate() : std::string();
    // libpq's message and the server's carry "ERROR:  " or "FATAL:  " and
    // line breaks; the first line says why.
    std::string message = error.what();
    for (const char* const prefix : {"ERROR:", "FATAL:"}) {
        if (message.rfind(prefix, 0) == 0) {
            message = message.substr(std::min(message.size(), message.find_first_not_of(' ', 6)));
        }
    }
    // Class 08 (connection exception) and 57P (the server shutting down or
    // ending our session): whatever libpq's state says yet, the session and
    // its lock are gone.
    if (!m_connection->is_open() || state.rfind("08", 0) == 0 || state.rfind("57P", 0) == 0) {
        // Without the server's message libpqxx says only what failed after
        // the loss ("Could not obtain client encoding"): ask the server.
        m_lost = "lost the connection to " + m_name + ": " +
                 (sql != nullptr ? Masked(message.substr(0, message.find('\n'))) : WhyLost());
        throw std::runtime_error(m_lost);
    }
    if (sql == nullptr) {
        throw std::runtime_error(Masked(message));
    }
    message = Masked(message.substr(0, message.find('\n')));
    if (state == kLockNotAvailable && !m_cancelled) {
        message = WaitedTooLong() + ": " + message;
    } else if (state == kQueryCanceled && m_cancelled) {
        message = "stopped by a signal: " + message;
    }
    throw pqxx::sql_error(message, sql->query(), state.c_str());
}

std::vector<std::string> CPostgresStore::Values(const Parameters& parameters) {
    std::vector<std::string> values;
    for (const std::int64_t parameter : parameters) {
        values.push_back(std::to_string(parameter));
    }
    return values;
}

std::string CPostgresStore::WaitedTooLong() const {
    return "lock not granted within --busy-timeout (" +
           std::to_string(m_busyTimeout.count() / 1000) + " s)";
}

bool CPostgresStore::HasTable(const std::string& name) {
    return !Run("SELECT 1 FROM pg_catalog.pg_tables WHERE schemaname = pg_catalog.current_schema()"
                " AND tablename = $1::text",
                {name})
                .empty();
}

std::int64_t CPostgresStore::QueryInt64(const std::string& sql, const Parameters& parameters) {
    const pqxx::result rows = Run(sql, Values(parameters));
    return rows.empty() || rows[0][0].is_null() ? 0 : rows[0][0].as<std::int64_t>();
}

std::vector<std::int64_t> CPostgresStore::QueryInt64s(const std::string& sql,
                                                      const Parameters& parameters) {
    std::vector<std::int64_t> column;
    for (const auto& row : Run(sql, Values(parameters))) {
        if (!row[0].is_null()) {
            column.push_back(row[0].as<std::int64_t>());
        }
    }
    return column;
}

void CPostgresStore::Execute(const std::string& sql, const Parameters& parameters) {
    Run(sql, Values(parameters));
}

boost::optional<std::string> CPostgresStore::GetSetting(const std::string& key) {
    const pqxx::result rows = Run("SELECT value FROM settings WHERE key = $1::text", {key});
    if (rows.empty()) {
        return boost::none;
    }
    return std::string(rows[0][0].c_str());
}

void CPostgresStore::SetSetting(const std::string& key, const std::string& value) {
    Transaction transaction(*this);
    Run("INSERT INTO settings(key, value) VALUES ($1::text, $2::text)"
        " ON CONFLICT(key) DO UPDATE SET value = excluded.value",
        {key, value});
    transaction.Commit();
}

std::int64_t CPostgresStore::AddStatusEvent(std::int64_t messageType, const std::string& name,
                                            const std::string& symbols,
                                            const std::string& symbolsProtobuf,
                                            std::int64_t receivedAt) {
    Transaction transaction(*this);
    const pqxx::result row =
        Run("INSERT INTO status_events(message_type, name, symbols, symbols_protobuf, received_at)"
            " VALUES ($1::bigint, $2::text, pg_catalog.decode($3::text, 'hex'),"
            " pg_catalog.decode($4::text, 'hex'), $5::bigint) RETURNING id",
            {std::to_string(messageType), name, CPostgresRowWriter::Hex(symbols),
             CPostgresRowWriter::Hex(symbolsProtobuf), std::to_string(receivedAt)});
    transaction.Commit();
    return row[0][0].as<std::int64_t>();
}

bool CPostgresStore::AddRun(const RunRecord& run) {
    return CPostgresRunHistory(*this).Add(run);
}

std::vector<RunRecord> CPostgresStore::ReadRuns(std::size_t limit) {
    return CPostgresRunHistory(*this).Read(limit);
}

IStore::DeleteResult CPostgresStore::DeleteInBatches(const DeletePlan& plan, std::size_t batchRows,
                                                     const BatchObserver& afterBatch) {
    CPostgresDeleteWalk walk(*this, plan);
    return CBatchedDelete<std::string>(batchRows).Run(
        walk,
        [&](const DeleteResult& soFar) {
            m_touched.insert(plan.table);
            if (afterBatch) {
                afterBatch(soFar);
            }
        },
        [this] { return m_cancelled.load(); });
}

void CPostgresStore::PrepareLogRange(std::int64_t from, std::int64_t to) {
    CPostgresPartitions(*this).Prepare(from, to);
}

IStoreMaintenance& CPostgresStore::Maintenance() {
    if (!m_maintenance) {
        m_maintenance.reset(new CPostgresMaintenance(*this));
    }
    return *m_maintenance;
}

std::unique_ptr<IStore::RowWriter> CPostgresStore::WriteRows(
    const std::string& table, const std::vector<std::string>& columns,
    const boost::optional<TimeSpan>& createdAt) {
    if (createdAt) {
        PrepareLogRange(createdAt->from, createdAt->to);
    }
    // COPY's rows count on the lock of the main session.
    CheckConnected();
    if (!m_bulk) {
        std::unique_ptr<pg_conn, void (*)(pg_conn*)> bulk(PQconnectdb(m_uri.GetText().c_str()),
                                                          &PQfinish);
        {
            const std::lock_guard<std::mutex> lock(m_cancelMutex);
            m_bulk = std::move(bulk);
        }
        if (PQstatus(m_bulk.get()) != CONNECTION_OK) {
            const std::string error = Masked(PQerrorMessage(m_bulk.get()));
            m_bulk.reset();
            throw std::runtime_error("cannot connect for COPY: " + error);
        }
        Session(m_bulk.get(), m_session);
        const std::lock_guard<std::mutex> lock(m_cancelMutex);
        m_bulkCancel.reset(PQgetCancel(m_bulk.get()));
    }
    return std::unique_ptr<RowWriter>(
        new CPostgresRowWriter(m_bulk.get(), table, columns, m_dryRun));
}

void CPostgresStore::RecordFreed(std::int64_t freed, std::int64_t returned) {
    m_tally.Record(0, freed, returned);
}

bool CPostgresStore::RunDdl(const std::string& sql, std::chrono::steady_clock::time_point until,
                            const std::function<void()>& first) {
    if (until == std::chrono::steady_clock::time_point()) {
        until = std::chrono::steady_clock::now() + m_busyTimeout;
    }
    std::chrono::milliseconds pause = kDdlFirstPause;
    for (;;) {
        if (boost::this_thread::interruption_requested() || m_cancelled) {
            return false;
        }
        const std::chrono::milliseconds wait = Jittered(pause);
        try {
            Transaction transaction(*this);
            Run("SET LOCAL lock_timeout = " + LockTimeout(std::min(m_lockTimeout, m_busyTimeout)));
            if (first) {
                first();
            }
            Run(sql);
            transaction.CommitAlways();
            return true;
        } catch (const pqxx::sql_error& e) {
            if (e.sqlstate() != kLockNotAvailable ||
                std::chrono::steady_clock::now() + wait >= until) {
                throw;
            }
        }
        std::this_thread::sleep_for(wait);
        pause = std::min(2 * pause, kDdlLongestPause);
    }
}

CPostgresStore::Transaction::Transaction(CPostgresStore& store)
    : m_store(store), m_start(std::chrono::steady_clock::now()), m_open(true) {
    if (store.m_work) {
        throw std::logic_error("a transaction is open already");
    }
    store.CheckConnected();
    try {
        store.m_work.reset(new pqxx::work(*store.m_connection));
    } catch (const pqxx::failure& e) {
        store.Fail(e);
    }
}

CPostgresStore::Transaction::~Transaction() {
    if (m_open) {
        try {
            m_store.m_work->abort();
        } catch (const std::exception&) {
            // The session's transaction ends with the connection anyway.
        }
        m_store.m_work.reset();
    }
}

void CPostgresStore::Transaction::Commit() {
    End(!m_store.m_dryRun);
}

void CPostgresStore::Transaction::CommitAlways() {
    End(true);
}

void CPostgresStore::Transaction::End(bool commit) {
    try {
        if (commit) {
            m_store.m_work->commit();
        } else {
            m_store.m_work->abort();
        }
    } catch (const pqxx::failure& e) {
        m_open = false;
        m_store.m_work.reset();
        m_store.Fail(e);
    }
    m_open = false;
    m_store.m_work.reset();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    m_store.m_tally.Record(seconds, 0, 0);
}

}  // namespace Host
}  // namespace Kol
