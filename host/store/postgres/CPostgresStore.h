#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <pqxx/connection>
#include <pqxx/result>
#include <pqxx/transaction_base>

#include "host/store/CWriteTally.h"
#include "host/store/IStore.h"
#include "host/store/StoreOptions.h"
#include "host/store/postgres/CPostgresUri.h"

struct pg_conn;
struct pg_cancel;

namespace Kol {
namespace Host {

class CPostgresMaintenance;

// The agent's store on a PostgreSQL server, for server installations: the
// same tables and columns as the SQLite store (bigint for ids and Unix
// seconds, bytea for blobs) in the connection's current schema, with `logs`
// partitioned by retention class (list) and then by two-week spans of `created_at`
// (range; CPostgresPartitions), each class with a default partition for the
// weeks not prepared.
//
// Identity: the settings rows application_id (the SQLite store's
// application id, in decimal) and schema_version (1 is migrated). Opening reads before it
// writes: a schema holding tables but not ours is refused untouched; an empty
// one gets the schema only when `create` is set.
//
// One cleanup per database at a time: the store holds a session advisory
// lock from opening to closing (taken before anything is read).
//
// Every DDL statement (RunDdl) runs under a short lock_timeout and is
// retried, so that no writer queues behind a waiting schema change for long.
//
// Every wait is ours to bound, whatever the database or role sets: each
// session of ours sets lock_timeout to options.busyTimeout (a statement
// waiting longer for a row or table lock fails, 55P03) and statement_timeout
// to 0, so that no one's short limit cuts off a long VACUUM or REINDEX; work
// that is not a wait ends on a signal (Cancel).
//
// Thread-safety: one thread at a time, like every IStore; Cancel from any
// thread.
class CPostgresStore : public IStore {
public:
    static const std::int64_t kSchemaVersion;
    // The first step of opening options.db: connects (libpq's URI syntax and
    // environment variables apply), takes the lock (trying for options.wait
    // unless options.stopWaiting says stop) and checks the store (its
    // identity, foreign code, layout, and unless options.allowOtherOwner the
    // tables' owner; CPostgresLayout), writing nothing. A URI whose password
    // libpq cannot read as written is refused before connecting
    // (CPostgresUri). The backup goes to options.backup's real
    // path, else
    // "<database>.dump" in the working folder. Throws std::invalid_argument
    // with a whole sentence when the database is refused (nothing written),
    // also "another cleanup-agent (pid N) is cleaning <masked uri>", and
    // std::runtime_error "cannot open store <masked uri>: <reason>" otherwise.
    explicit CPostgresStore(const StoreOptions& options);
    ~CPostgresStore() override;

    CPostgresStore(const CPostgresStore&) = delete;
    CPostgresStore& operator=(const CPostgresStore&) = delete;

    // IStore.
    // Sends a cancel request for the statement in flight on each of our
    // sessions (libpq's PQcancel, made for another thread) and makes every
    // later statement wait for no lock. Any thread, e.g. the signal
    // watcher's; never throws.
    void Cancel() noexcept override;
    // Unless a dry run: creates the schema or migrates an older one (version
    // 1: the run history, one transaction), and the coming weeks' partitions.
    void FinishOpening() override;
    std::string GetName() const override { return m_name; }
    const std::string& GetBackupPath() const override { return m_backupPath; }
    const std::string& GetOpenNote() const override { return m_openNote; }
    bool IsDryRun() const override { return m_dryRun; }
    bool HasTable(const std::string& name) override;
    std::int64_t QueryInt64(const std::string& sql,
                            const Parameters& parameters = Parameters()) override;
    std::vector<std::int64_t> QueryInt64s(const std::string& sql,
                                          const Parameters& parameters = Parameters()) override;
    void Execute(const std::string& sql, const Parameters& parameters = Parameters()) override;
    boost::optional<std::string> GetSetting(const std::string& key) override;
    void SetSetting(const std::string& key, const std::string& value) override;
    std::int64_t AddStatusEvent(std::int64_t messageType, const std::string& name,
                                const std::string& symbols, const std::string& symbolsProtobuf,
                                std::int64_t receivedAt) override;
    // CPostgresRunHistory's.
    bool AddRun(const RunRecord& run) override;
    std::vector<RunRecord> ReadRuns(std::size_t limit) override;
    // Walks the table's primary key with CBatchedDelete (CPostgresDeleteWalk).
    DeleteResult DeleteInBatches(const DeletePlan& plan, std::size_t batchRows,
                                 const BatchObserver& afterBatch) override;
    // COPY on a second connection of its own, all rows or none; the weeks of
    // `createdAt` are prepared first (PrepareLogRange).
    std::unique_ptr<RowWriter> WriteRows(
        const std::string& table, const std::vector<std::string>& columns,
        const boost::optional<TimeSpan>& createdAt = boost::none) override;
    // Nothing to refuse or to copy back; growth not told (see the storage
    // operation's vacuum line).
    std::string BeginCall() override { return std::string(); }
    std::int64_t EndCall() override { return 0; }
    std::int64_t GetFreedBytesTotal() const override { return m_tally.GetFreedBytesTotal(); }
    std::int64_t GetReturnedBytesTotal() const override { return m_tally.GetReturnedBytesTotal(); }
    double TakeLongestTransaction() override { return m_tally.TakeLongestTransaction(); }
    // A CPostgresMaintenance on this store.
    IStoreMaintenance& Maintenance() override;

    // Prepares the two-week partitions of logs of every class over the range
    // from `from` to `to` (Unix seconds), around those already there
    // (CPostgresPartitions::Prepare). Throws std::runtime_error.
    void PrepareLogRange(std::int64_t from, std::int64_t to);

    // For the per-store work of the mappers.
    // A statement with positional parameters ($1 ...), in the open
    // transaction or on its own. Throws pqxx::sql_error with the server's
    // message as one line; once the connection is lost, std::runtime_error
    // "lost the connection to <masked uri>: <reason>", then and for every
    // later statement (the session's lock went with it: nothing reconnects).
    pqxx::result Run(const std::string& sql, const std::vector<std::string>& parameters = {});
    // Run(sql), collecting the notices and warnings the server sends meanwhile
    // into `notices`, one line each without their "WARNING:  " prefix.
    pqxx::result RunWithNotices(const std::string& sql, std::vector<std::string>& notices);
    // IStore's parameters as Run's: $1 the first.
    static std::vector<std::string> Values(const Parameters& parameters);
    // Runs `sql` in a transaction of its own under StoreOptions::lockTimeout,
    // retrying after a pause that doubles from 25 ms to 1 s, each drawn at
    // random between half and one and a half of it (so that two waiting
    // sessions do not retry in step), while the lock is not granted until
    // `until` (by default --busy-timeout from now; one try at least), then
    // throwing the 55P03 pqxx::sql_error;
    // false, and nothing done, when the thread is asked to interrupt or the
    // store was cancelled first. `first`, when given, runs in the same
    // transaction just before `sql`, under the same lock_timeout, on every
    // try (so what it reads is what `sql` then acts on). Commits even in a
    // dry run: callers decide what a dry run may change.
    bool RunDdl(
        const std::string& sql,
        std::chrono::steady_clock::time_point until = std::chrono::steady_clock::time_point(),
        const std::function<void()>& first = std::function<void()>());
    // How long a statement may wait for a lock (StoreOptions::busyTimeout).
    std::chrono::milliseconds GetBusyTimeout() const { return m_busyTimeout; }
    // True once Cancel was called: a statement that fails from now on may
    // have been cut short by it, which the callers take as a stop, not a
    // failure (what was committed before stays counted).
    bool IsCancelled() const { return m_cancelled; }
    // "lock not granted within --busy-timeout (N s)", for the messages.
    std::string WaitedTooLong() const;
    // Bytes freed inside the store and returned to the file system by work
    // other than a delete (a partition dropped, a vacuum).
    void RecordFreed(std::int64_t freed, std::int64_t returned);
    // The tables the run has deleted rows from so far.
    std::set<std::string> GetTouchedTables() const { return m_touched; }
    // The database's name and the connection URI without its password (the
    // password, when there is one, is passed on by GetPassword).
    std::string GetDatabase();
    const std::string& GetUri() const { return m_uri.GetText(); }
    // The schema the store's tables are in.
    const std::string& GetSchema() const { return m_schema; }
    // `name` quoted as an SQL identifier.
    std::string Quote(const std::string& name) const { return m_connection->quote_name(name); }

    // One transaction: BEGIN ... COMMIT, or ROLLBACK in a dry run or when
    // dropped without Commit. Measured for the longest write transaction.
    class Transaction {
    public:
        explicit Transaction(CPostgresStore& store);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        // Commits (rolls back in a dry run); throws std::runtime_error.
        void Commit();
        // Commits whatever the store's dry run says.
        void CommitAlways();

    private:
        void End(bool commit);

        CPostgresStore& m_store;
        std::chrono::steady_clock::time_point m_start;
        bool m_open;
    };

private:
    void Open(const StoreOptions& options);
    // Refuses a hot standby and a database whose transactions are read-only.
    void CheckWritable();
    void TakeLock(const StoreOptions& options);
    // Reads only; returns true for an empty schema (to be made).
    bool CheckIdentity(bool create);
    void WriteSchema();
    std::string Masked(const std::string& message) const;
    // Throws the loss of the connection when it was lost.
    void CheckConnected() const;
    // Why the session was lost, asked on a new one: the server ended it, or
    // why it cannot be reached.
    std::string WhyLost() const;
    // Keeps the one session: no quiet reconnection after a loss.
    void KeepSession();
    // Passes on what the driver threw as one masked line, or the loss of
    // the connection (noted for every later statement).
    [[noreturn]] void Fail(const pqxx::failure& error);

    const CPostgresUri m_uri;
    const std::string m_name;
    std::string m_backupPath;
    std::string m_openNote;
    const bool m_dryRun;    // also when read-only
    const bool m_readOnly;  // no lock taken, no first writes
    const std::chrono::milliseconds m_busyTimeout;
    const std::chrono::milliseconds m_lockTimeout;
    bool m_empty;                // the schema holds no table yet: FinishOpening makes them
    std::int64_t m_version = 0;  // the schema version found; FinishOpening migrates an older one
    std::string m_schema;        // the store's
    std::string m_session;       // the settings of every session of ours
    std::unique_ptr<pqxx::connection> m_connection;
    std::unique_ptr<pqxx::transaction_base> m_work;       // the open Transaction's
    std::unique_ptr<pg_conn, void (*)(pg_conn*)> m_bulk;  // for COPY, opened on first use
    // Cancel's: guards the connections' lifetime against it, and the cancel
    // handle of m_bulk, made on the store's thread when m_bulk is opened.
    std::mutex m_cancelMutex;
    std::unique_ptr<pg_cancel, void (*)(pg_cancel*)> m_bulkCancel;
    std::atomic<bool> m_cancelled{false};
    std::string m_lost;     // "lost the connection to ...", once it was
    bool m_locked = false;  // this session holds the advisory lock
    CWriteTally m_tally;
    std::set<std::string> m_touched;
    std::unique_ptr<CPostgresMaintenance> m_maintenance;  // made on first use
};

}  // namespace Host
}  // namespace Kol
