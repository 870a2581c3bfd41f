#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <boost/function.hpp>
#include <boost/optional.hpp>

#include "host/store/CWriteTally.h"
#include "host/store/IStore.h"
#include "host/store/StoreOptions.h"
#include "host/store/sqlite/CSqliteStatement.h"

struct sqlite3;

namespace Kol {
namespace Host {

class CStoreLock;
class CSqliteMaintenance;

// The agent's SQLite store: one connection in write-ahead-log mode with a busy
// timeout, the schema (incremental auto-vacuum on a new file), the settings
// table, and the bookkeeping the host reports: the longest write transaction,
// the bytes freed and returned by its own transactions, the log's size.
//
// Identity: a store made here carries PRAGMA application_id
// CStoreIdentity::kApplicationId and PRAGMA user_version kSchemaVersion.
// Opening reads before it writes: a file that is not a store of ours is
// refused untouched, a store of earlier builds (no id, exactly our tables,
// CSqliteSchema) is marked, an older schema version is migrated in one
// transaction (from version 1: the run history's table; none in a dry run).
//
// One cleanup per file at a time: a store opened with StoreOptions holds
// CStoreLock from opening (a new file) or FinishOpening (an existing one)
// until it is destroyed.
//
// Damage: after the first SQLITE_CORRUPT or SQLITE_NOTADB any statement of
// the store meets, the store counts as damaged and nothing more is written to
// it: transactions and checkpoints refuse, closing does not checkpoint.
//
// Thread-safety: the connection is opened in serialised mode, so single calls
// may come from any thread; a CSqliteTransaction holds TransactionMutex() for
// its whole life so that the transactions of two threads never interleave.
// In practice the host hands the store from its main thread to the module's
// processing thread and back, one at a time.
//
// Dry run (StoreOptions::dryRun): opening writes nothing, and every
// CSqliteTransaction is rolled back where a real run commits, so that another
// writer never waits longer than one batch and each batch's figures are true.
class CSqliteStore : public IStore {
public:
    static const std::int32_t kSchemaVersion;

    // The write-ahead log's size in bytes before and after a truncation.
    struct LogSizes {
        std::int64_t before = 0;
        std::int64_t after = 0;
        bool truncated = false;  // false: a reader held it, or nothing was done
        // "write-ahead log 36.6 MiB (38390192 bytes) before, 0 bytes after".
        std::string Text() const;
    };

    // The first step of opening the store at options.db (a plain file name,
    // never a URI; its real path is the one opened): checks a backup chosen
    // with options.backup, refuses an absent file unless options.create,
    // takes the lock when the file is still to be made, opens and checks the
    // identity, writing nothing to an existing file. Throws
    // std::invalid_argument with a whole sentence when the file is refused
    // ("no store at <db> (use --create to make one)", "<path> is not a
    // cleanup-agent store" for any file not ours, an SQLite database or not,
    // "<path> was made by a newer cleanup-agent ...", "another cleanup-agent
    // (pid N) is cleaning <path>"), the file then unchanged, and
    // std::runtime_error "cannot open store <path>: <reason>" on a database
    // failure. StoreOptions::wait and stopWaiting apply to the lock.
    explicit CSqliteStore(const StoreOptions& options);
    // Closes the connection (which checkpoints the log into the database file
    // unless the store is damaged or FinishOpening was never called), then
    // lets go of the lock.
    ~CSqliteStore();

    CSqliteStore(const CSqliteStore&) = delete;
    CSqliteStore& operator=(const CSqliteStore&) = delete;

    const std::string& GetPath() const { return m_path; }
    const std::string& GetVfs() const { return m_vfs; }

    // "3.46.1": the SQLite library the program runs with.
    static std::string LibraryVersion();

    // IStore. Named parameters bind where the statement has them. Execute
    // without parameters may hold several statements.
    // Takes the lock of an existing file, then the first writes.
    void FinishOpening() override;
    std::string GetName() const override { return m_path; }
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
    // Walks the key with CBatchedDelete (CSqliteDeleteWalk).
    DeleteResult DeleteInBatches(const DeletePlan& plan, std::size_t batchRows,
                                 const BatchObserver& afterBatch) override;
    // Every row has its place: `createdAt` needs nothing.
    std::unique_ptr<RowWriter> WriteRows(
        const std::string& table, const std::vector<std::string>& columns,
        const boost::optional<TimeSpan>& createdAt = boost::none) override;
    // CSqliteRunHistory's.
    bool AddRun(const RunRecord& run) override;
    std::vector<RunRecord> ReadRuns(std::size_t limit) override;
    // DamageText() once the store is damaged. EndCall: Checkpoint(false),
    // then the growth of the file's pages since BeginCall.
    std::string BeginCall() override;
    std::int64_t EndCall() override;
    std::int64_t GetFreedBytesTotal() const override { return m_tally.GetFreedBytesTotal(); }
    std::int64_t GetReturnedBytesTotal() const override { return m_tally.GetReturnedBytesTotal(); }
    double TakeLongestTransaction() override { return m_tally.TakeLongestTransaction(); }
    // A CSqliteMaintenance on this store.
    IStoreMaintenance& Maintenance() override;

    // Throws std::runtime_error with SQLite's message.
    CSqliteStatement Prepare(const std::string& sql);

    std::int64_t GetPageSize();

    // Called by CSqliteTransaction with the duration of a finished write
    // transaction, and the bytes its pages in use and its file shrank by.
    void RecordTransaction(double seconds, std::int64_t freedBytes, std::int64_t returnedBytes);
    // After a commit: copies the log back into the database file when it has
    // grown past 4 MiB, or when the disk has less than that free (the log is
    // then reused from its start, so a run goes on as long as one batch
    // fits). Not on a damaged store nor in a dry run. Not a write
    // transaction: other writers go on meanwhile.
    void CheckpointIfDue();
    // Copies the whole log back; `truncate` also empties the log file. Does
    // nothing during a dry run or on a damaged store.
    void Checkpoint(bool truncate);
    // Copies the log back without blocking anyone, then empties it unless a
    // reader still holds it (waiting only briefly). Throws std::runtime_error.
    LogSizes TruncateLog();

    // Records the first damage seen; any thread.
    void MarkDamaged(const std::string& message);
    bool IsDamaged() const { return m_damaged; }
    // "the store is damaged: <message>; nothing more was changed; check it
    // with PRAGMA integrity_check and restore from <backup path>"
    std::string DamageText() const;
    // Bytes of all pages.
    std::int64_t GetFileBytes();
    // The size of the write-ahead log file beside the store, 0 when none.
    std::int64_t LogFileBytes() const;

    std::recursive_mutex& TransactionMutex() { return m_transactionMutex; }
    sqlite3* GetHandle() const { return m_db; }

private:
    enum class Origin { kNew, kOurs, kOlder, kEarlierBuild };

    // The real path of a chosen backup, checked; else "<path>.bak".
    static std::string ChosenBackup(const std::string& path, const std::string& chosen);
    // Throws std::invalid_argument when another run keeps the lock.
    void TakeLock();
    // Opens the connection and checks the identity; reads only.
    void Open(bool create);
    // The pragmas, the journal mode and the schema, unless a dry run.
    void WriteFirst();
    // Reads only; throws std::invalid_argument when the file is refused.
    Origin CheckIdentity(bool create);
    // Refuses an existing backup of another installation (a store without
    // settings yet has none). Reads only.
    void CheckBackupInstallation();
    // Refuses a store with triggers or views: none are ours.
    void RefuseForeignCode();
    [[noreturn]] void Refuse(const std::string& sentence);
    void KeepLogOnClose();
    // Creates what is missing of the schema and stamps the identity.
    void WriteSchema();
    void Close() noexcept;
    static int OnBusy(void* self, int attempt);
    static int OnWalCommit(void* self, sqlite3* db, const char* name, int pages);
    static void OnStatementError(void* self, int code, const std::string& message);

    const std::string m_path;
    const std::string m_vfs;
    const std::string m_backupPath;
    std::string m_openNote;
    sqlite3* m_db;
    const bool m_dryRun;    // also when read-only
    const bool m_readOnly;  // no lock, no file beside it, no first writes
    Origin m_origin;        // what opening found
    const bool m_existed;   // the file was there before this run
    bool m_writing;         // FinishOpening has begun the first writes
    const std::chrono::seconds m_lockWait;
    const boost::function<bool()> m_stopWaiting;
    std::unique_ptr<CStoreLock> m_lock;
    std::recursive_mutex m_transactionMutex;
    CWriteTally m_tally;
    mutable std::mutex m_statsMutex;
    std::string m_damage;  // guarded by m_statsMutex
    std::atomic<bool> m_damaged;
    bool m_hadLog;                      // a non-empty log lay beside the file when it was opened
    std::atomic<int> m_walPages;        // pages in the log after the last commit
    std::int64_t m_callStartBytes = 0;  // GetFileBytes() at BeginCall
    std::atomic<std::chrono::milliseconds> m_busyTimeout;
    std::chrono::steady_clock::time_point m_busySince;  // used by the thread in SQLite's call
    std::unique_ptr<CSqliteMaintenance> m_maintenance;  // made on first use
};

}  // namespace Host
}  // namespace Kol
