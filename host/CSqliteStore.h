#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include <boost/optional.hpp>

#include "host/CSqliteStatement.h"

struct sqlite3;

namespace Kol {
namespace Host {

// The agent's SQLite store: one connection in write-ahead-log mode with a busy
// timeout, the schema (created with IF NOT EXISTS, incremental auto-vacuum on a
// new file), the settings table, and the bookkeeping the host reports: the
// longest write transaction and the pages in use.
//
// Thread-safety: the connection is opened in serialised mode, so single calls
// may come from any thread; a CSqliteTransaction holds TransactionMutex() for
// its whole life so that the transactions of two threads never interleave.
// In practice the host hands the store from its main thread to the module's
// processing thread and back, one at a time.
//
// Dry run: between BeginDryRun and EndDryRun one outer transaction is open and
// every CSqliteTransaction becomes a savepoint inside it; EndDryRun rolls all
// of it back.
class CSqliteStore {
public:
    // Opens the store at `path`, creating the file and the schema when absent.
    // A file that is not an SQLite database is refused before anything is
    // written to it. Throws std::runtime_error "cannot open store <path>:
    // <reason>". `vfs` names the SQLite file system to use ("" the default).
    explicit CSqliteStore(const std::string& path, const std::string& vfs = std::string());
    // Rolls back an open dry run and closes the connection (which checkpoints
    // the log into the database file).
    ~CSqliteStore();

    CSqliteStore(const CSqliteStore&) = delete;
    CSqliteStore& operator=(const CSqliteStore&) = delete;

    const std::string& GetPath() const { return m_path; }

    // Both throw std::runtime_error on a database failure.
    void BeginDryRun();
    void EndDryRun();
    bool IsDryRun() const { return m_dryRun; }

    // Throws std::runtime_error with SQLite's message.
    CSqliteStatement Prepare(const std::string& sql);
    void Execute(const std::string& sql);
    // The first column of the first row of `sql`; 0 when there is no row.
    std::int64_t QueryInt64(const std::string& sql);

    boost::optional<std::string> GetSetting(const std::string& key);
    // Writes in its own short transaction.
    void SetSetting(const std::string& key, const std::string& value);

    std::int64_t GetPageSize();
    // Bytes of all pages, and of the pages holding data (all minus free ones).
    std::int64_t GetFileBytes();
    std::int64_t GetUsedBytes();

    // Called by CSqliteTransaction with the duration of a finished write
    // transaction.
    void RecordTransaction(double seconds);
    // The longest transaction since the previous call (and resets that mark).
    double TakeLongestTransaction();

    // After a commit: copies the log back into the database file when it has
    // grown large. Not a write transaction: other writers go on meanwhile.
    void CheckpointIfLarge();
    // Copies the whole log back; `truncate` also empties the log file. Does
    // nothing during a dry run.
    void Checkpoint(bool truncate);

    std::recursive_mutex& TransactionMutex() { return m_transactionMutex; }
    sqlite3* GetHandle() const { return m_db; }

private:
    void Open();
    void CreateSchema();
    void Close() noexcept;
    static int OnWalCommit(void* self, sqlite3* db, const char* name, int pages);

    const std::string m_path;
    const std::string m_vfs;
    sqlite3* m_db;
    bool m_dryRun;  // changed only by the thread that owns the store's outer run
    std::recursive_mutex m_transactionMutex;
    mutable std::mutex m_statsMutex;
    double m_longestSinceMark;    // guarded by m_statsMutex
    std::atomic<int> m_walPages;  // pages in the log after the last commit
};

}  // namespace Host
}  // namespace Kol
