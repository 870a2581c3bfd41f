#include "host/CSqliteStore.h"

#include <algorithm>
#include <stdexcept>

#include <sqlite3.h>

#include "host/CSqliteTransaction.h"

namespace Kol {
namespace Host {

namespace {

// Pages the log may hold before it is copied back between two batches
// (about 32 MiB with 4 KiB pages).
const int kCheckpointPages = 8192;

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS logs(id INTEGER PRIMARY KEY, log_type INTEGER NOT NULL,"
    " retention_class INTEGER NOT NULL CHECK (retention_class BETWEEN 1 AND 5),"
    " is_delta INTEGER NOT NULL DEFAULT 0, created_at INTEGER NOT NULL,"
    " replicated INTEGER NOT NULL DEFAULT 0, ignored INTEGER NOT NULL DEFAULT 0,"
    " superseded INTEGER NOT NULL DEFAULT 0, owner_id INTEGER, symbols BLOB)",
    "CREATE TABLE IF NOT EXISTS owners(id INTEGER PRIMARY KEY, name TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS log_blobs(id INTEGER PRIMARY KEY, log_id INTEGER NOT NULL,"
    " data BLOB NOT NULL)",
    "CREATE TABLE IF NOT EXISTS static_objects(id INTEGER PRIMARY KEY, name TEXT NOT NULL,"
    " deleted INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS enrollment_tombstones(computer_uuid TEXT PRIMARY KEY,"
    " removed_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS status_events(id INTEGER PRIMARY KEY,"
    " message_type INTEGER NOT NULL, name TEXT NOT NULL, symbols BLOB NOT NULL,"
    " symbols_protobuf BLOB NOT NULL, received_at INTEGER NOT NULL)",
    // Retention and event-log ranges are walked in time order. Index entries of
    // one batch of deletes then sit side by side, since logs are appended in
    // time order. There is deliberately no index on owner_id: its entries are
    // scattered, and keeping it would rewrite most of its pages in every batch.
    "CREATE INDEX IF NOT EXISTS logs_retention ON logs(retention_class, created_at)",
    "CREATE INDEX IF NOT EXISTS logs_event_type ON logs(log_type, created_at)"
    " WHERE is_delta = 0",
    "CREATE INDEX IF NOT EXISTS logs_replicated ON logs(id) WHERE replicated = 1",
    "CREATE INDEX IF NOT EXISTS logs_ignored ON logs(id) WHERE ignored = 1",
    "CREATE INDEX IF NOT EXISTS logs_obsolete_delta ON logs(id)"
    " WHERE is_delta = 1 AND superseded = 1",
};

}  // namespace

CSqliteStore::CSqliteStore(const std::string& path, const std::string& vfs)
    : m_path(path),
      m_vfs(vfs),
      m_db(nullptr),
      m_dryRun(false),
      m_longestSinceMark(0),
      m_walPages(0) {
    try {
        Open();
    } catch (const std::exception& e) {
        Close();
        throw std::runtime_error("cannot open store " + path + ": " + e.what());
    }
}

CSqliteStore::~CSqliteStore() {
    if (m_dryRun) {
        try {
            EndDryRun();
        } catch (const std::exception&) {
            // Closing rolls back whatever is still open.
        }
    }
    Close();
}

void CSqliteStore::Open() {
    const int code = sqlite3_open_v2(
        m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        m_vfs.empty() ? nullptr : m_vfs.c_str());
    if (code != SQLITE_OK) {
        throw std::runtime_error(m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(code));
    }
    if (sqlite3_db_readonly(m_db, "main") == 1) {
        throw std::runtime_error("the file is not writable");
    }
    sqlite3_busy_timeout(m_db, 5000);
    // Reads the header before anything is written: a file that is not a
    // database fails here ("file is not a database") and stays untouched.
    Execute("SELECT count(*) FROM sqlite_master");
    const std::int64_t tables = QueryInt64("SELECT count(*) FROM sqlite_master");
    if (tables == 0) {
        // Only takes effect before the first table is created.
        Execute("PRAGMA auto_vacuum = INCREMENTAL");
    }
    CSqliteStatement journal = Prepare("PRAGMA journal_mode = WAL");
    if (!journal.Step() || journal.GetText(0) != "wal") {
        throw std::runtime_error("cannot switch the store to write-ahead logging");
    }
    journal.Reset();
    // In WAL mode NORMAL keeps the file consistent; a crash may only lose the
    // last commits, which a later cleanup repeats.
    Execute("PRAGMA synchronous = NORMAL");
    Execute("PRAGMA cache_size = -16384");
    Execute("PRAGMA temp_store = MEMORY");
    // The host checkpoints between batches itself (CheckpointIfLarge) so that
    // no commit pays for copying the log back.
    sqlite3_wal_autocheckpoint(m_db, 0);
    sqlite3_wal_hook(m_db, &CSqliteStore::OnWalCommit, this);
    CreateSchema();
}

void CSqliteStore::CreateSchema() {
    CSqliteTransaction transaction(*this);
    for (const char* statement : kSchema) {
        Execute(statement);
    }
    transaction.Commit();
}

void CSqliteStore::Close() noexcept {
    if (m_db != nullptr) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

int CSqliteStore::OnWalCommit(void* self, sqlite3*, const char*, int pages) {
    static_cast<CSqliteStore*>(self)->m_walPages = pages;
    return SQLITE_OK;
}

void CSqliteStore::BeginDryRun() {
    std::lock_guard<std::recursive_mutex> lock(m_transactionMutex);
    if (m_dryRun) {
        return;
    }
    Execute("BEGIN IMMEDIATE");
    m_dryRun = true;
}

void CSqliteStore::EndDryRun() {
    std::lock_guard<std::recursive_mutex> lock(m_transactionMutex);
    if (!m_dryRun) {
        return;
    }
    m_dryRun = false;
    Execute("ROLLBACK");
}

CSqliteStatement CSqliteStore::Prepare(const std::string& sql) {
    return CSqliteStatement(m_db, sql);
}

void CSqliteStore::Execute(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : sqlite3_errmsg(m_db);
        sqlite3_free(error);
        throw std::runtime_error(message);
    }
}

std::int64_t CSqliteStore::QueryInt64(const std::string& sql) {
    CSqliteStatement statement = Prepare(sql);
    return statement.Step() ? statement.GetInt64(0) : 0;
}

boost::optional<std::string> CSqliteStore::GetSetting(const std::string& key) {
    CSqliteStatement statement = Prepare("SELECT value FROM settings WHERE key = ?1");
    statement.Bind(1, key);
    if (!statement.Step()) {
        return boost::none;
    }
    return statement.GetText(0);
}

void CSqliteStore::SetSetting(const std::string& key, const std::string& value) {
    CSqliteTransaction transaction(*this);
    CSqliteStatement statement = Prepare(
        "INSERT INTO settings(key, value) VALUES (?1, ?2)"
        " ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    statement.Bind(1, key).Bind(2, value).Run();
    transaction.Commit();
}

std::int64_t CSqliteStore::GetPageSize() {
    return QueryInt64("PRAGMA page_size");
}

std::int64_t CSqliteStore::GetFileBytes() {
    return QueryInt64("PRAGMA page_count") * GetPageSize();
}

std::int64_t CSqliteStore::GetUsedBytes() {
    return (QueryInt64("PRAGMA page_count") - QueryInt64("PRAGMA freelist_count")) * GetPageSize();
}

void CSqliteStore::RecordTransaction(double seconds) {
    std::lock_guard<std::mutex> lock(m_statsMutex);
    m_longestSinceMark = std::max(m_longestSinceMark, seconds);
}

double CSqliteStore::TakeLongestTransaction() {
    std::lock_guard<std::mutex> lock(m_statsMutex);
    const double longest = m_longestSinceMark;
    m_longestSinceMark = 0;
    return longest;
}

void CSqliteStore::CheckpointIfLarge() {
    if (!m_dryRun && m_walPages >= kCheckpointPages) {
        sqlite3_wal_checkpoint_v2(m_db, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        m_walPages = 0;
    }
}

void CSqliteStore::Checkpoint(bool truncate) {
    if (m_dryRun) {
        return;
    }
    const int code = sqlite3_wal_checkpoint_v2(
        m_db, "main", truncate ? SQLITE_CHECKPOINT_TRUNCATE : SQLITE_CHECKPOINT_PASSIVE, nullptr,
        nullptr);
    // A checkpoint that finds a reader or writer in the way is not an error:
    // the rest is copied by a later one.
    if (code != SQLITE_OK && code != SQLITE_BUSY) {
        throw std::runtime_error(sqlite3_errmsg(m_db));
    }
    m_walPages = 0;
}

}  // namespace Host
}  // namespace Kol
