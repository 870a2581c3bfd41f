#include "host/store/sqlite/CSqliteStore.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <thread>
#include <vector>

#include <sqlite3.h>
#include <boost/thread/thread.hpp>

#include "host/store/CBatchedDelete.h"
#include "host/store/CStoreFiles.h"
#include "host/store/CStoreIdentity.h"
#include "host/store/CUnits.h"
#include "host/store/sqlite/CSqliteBackup.h"
#include "host/store/sqlite/CSqliteDeleteWalk.h"
#include "host/store/sqlite/CSqliteDiskSpace.h"
#include "host/store/sqlite/CSqliteMaintenance.h"
#include "host/store/sqlite/CSqliteReadOnlyUri.h"
#include "host/store/sqlite/CSqliteRowWriter.h"
#include "host/store/sqlite/CSqliteRunHistory.h"
#include "host/store/sqlite/CSqliteSchema.h"
#include "host/store/sqlite/CSqliteTransaction.h"
#include "host/store/sqlite/CStoreLock.h"

namespace Kol {
namespace Host {

namespace {

// Pages the log may hold before it is copied back between two batches
// (4 MiB with 4 KiB pages), and the free disk below which it is copied back
// after every batch: one batch then needs only its own pages of disk, and
// copying back often costs little, since a batch's pages are few and side by
// side.
const int kCheckpointPages = 1024;
const std::chrono::milliseconds kTruncateWait(100);

typedef std::map<std::string, std::vector<std::string>> Columns;

// The column names of every table but SQLite's own, in order.
Columns ReadColumns(sqlite3* db) {
    CSqliteStatement select(
        db,
        "SELECT m.name, p.name FROM sqlite_master m, pragma_table_info(m.name) p"
        " WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"
        " ORDER BY m.name, p.cid");
    Columns columns;
    while (select.Step()) {
        columns[select.GetText(0)].push_back(select.GetText(1));
    }
    return columns;
}

// The tables of schema version 1, the earlier builds', read from a scratch
// database in memory.
const Columns& OurColumns() {
    static const Columns ours = [] {
        sqlite3* db = nullptr;
        if (sqlite3_open(":memory:", &db) != SQLITE_OK) {
            sqlite3_close(db);
            throw std::runtime_error("cannot open a database in memory");
        }
        for (const std::string& statement : CSqliteSchema::Statements(1)) {
            sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr);
        }
        Columns columns = ReadColumns(db);
        sqlite3_close(db);
        return columns;
    }();
    return ours;
}

}  // namespace

const std::int32_t CSqliteStore::kSchemaVersion = CSqliteSchema::kVersion;

std::string CSqliteStore::LogSizes::Text() const {
    return "write-ahead log " + CUnits::Size(before) + " before, " + CUnits::Size(after) +
           " after" + (truncated || after == 0 ? "" : " (other connections kept it in use)");
}

std::string CSqliteStore::LibraryVersion() {
    return sqlite3_libversion();
}

CSqliteStore::CSqliteStore(const StoreOptions& options)
    : m_path(CStoreFiles::RealPath(options.db)),
      m_vfs(options.vfs),
      m_backupPath(ChosenBackup(m_path, options.backup)),
      m_db(nullptr),
      m_dryRun(options.dryRun || options.readOnly),
      m_readOnly(options.readOnly),
      m_origin(Origin::kOurs),
      m_existed(CStoreFiles::Exists(m_path)),
      m_writing(false),
      m_lockWait(options.wait),
      m_stopWaiting(options.stopWaiting),
      m_damaged(false),
      m_hadLog(false),
      m_walPages(0),
      m_busyTimeout(options.busyTimeout) {
    if (!m_existed && (!options.create || m_readOnly)) {
        throw std::invalid_argument("no store at " + m_path +
                                    (m_readOnly       ? ""
                                     : options.dryRun ? " (a dry run creates none)"
                                                      : " (use --create to make one)"));
    }
    // Another user's store would get files of this user beside it; one
    // that is only read gets none.
    if (!m_readOnly) {
        CStoreFiles::CheckOwner(m_path);
    }
    // Opening makes the file, so the lock comes first; an existing file is
    // locked only once it is known to be ours (FinishOpening).
    if (!m_existed) {
        CheckBackupInstallation();
        TakeLock();
    }
    try {
        Open(options.create);
    } catch (const std::invalid_argument&) {
        Close();
        throw;
    } catch (const std::exception& e) {
        Close();
        throw std::runtime_error("cannot open store " + m_path + ": " + e.what());
    }
}

CSqliteStore::~CSqliteStore() {
    if (!m_writing) {
        KeepLogOnClose();  // closed as it was found
    }
    Close();
}

std::string CSqliteStore::ChosenBackup(const std::string& path, const std::string& chosen) {
    if (chosen.empty()) {
        return CStoreFiles::BackupPath(path);
    }
    const std::string backup = CStoreFiles::RealPath(chosen);
    CStoreFiles::CheckChosenBackup(path, backup);
    return backup;
}

void CSqliteStore::TakeLock() {
    try {
        m_lock.reset(new CStoreLock(m_path, m_lockWait, m_stopWaiting));
    } catch (const std::runtime_error& e) {
        // A refusal like the others: passed on as it is, the store unchanged.
        throw std::invalid_argument(e.what());
    }
}

void CSqliteStore::Open(bool create) {
    m_hadLog = LogFileBytes() > 0;
    // No SQLITE_OPEN_URI, and the path is a real one: never a URI. Only read,
    // the URI is ours, made from the real path (CSqliteReadOnlyUri).
    const int code =
        m_readOnly
            ? sqlite3_open_v2(
                  CSqliteReadOnlyUri::Of(m_path, CStoreFiles::Exists(m_path + "-wal")).c_str(),
                  &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX,
                  m_vfs.empty() ? nullptr : m_vfs.c_str())
            : sqlite3_open_v2(
                  m_path.c_str(), &m_db,
                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0),
                  m_vfs.empty() ? nullptr : m_vfs.c_str());
    if (code != SQLITE_OK) {
        throw std::runtime_error(m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(code));
    }
    if (m_readOnly) {
        sqlite3_busy_handler(m_db, &CSqliteStore::OnBusy, this);
        m_origin = CheckIdentity(false);
        return;
    }
    if (sqlite3_db_readonly(m_db, "main") == 1) {
        throw std::runtime_error("the file is not writable");
    }
    sqlite3_busy_handler(m_db, &CSqliteStore::OnBusy, this);
    m_origin = CheckIdentity(create);
    if (m_existed) {
        CheckBackupInstallation();
    }
}

void CSqliteStore::CheckBackupInstallation() {
    // The default backup too (a FIFO or a file that is no backup holds no
    // UUID; the commit refuses the FIFO).
    if (!CStoreFiles::IsRegularFile(m_backupPath)) {
        return;
    }
    CStoreFiles::CheckSameInstallation(
        m_backupPath,
        m_db != nullptr && HasTable("settings") ? GetSetting("installation_uuid") : boost::none,
        CSqliteBackup::InstallationOf(m_backupPath));
}

void CSqliteStore::FinishOpening() {
    if (m_readOnly) {
        throw std::logic_error("a store opened to read only takes no first writes");
    }
    if (!m_lock) {
        TakeLock();
    }
    m_writing = true;
    try {
        WriteFirst();
    } catch (const std::invalid_argument&) {
        Close();
        throw;
    } catch (const std::exception& e) {
        Close();
        throw std::runtime_error("cannot open store " + m_path + ": " + e.what());
    }
}

void CSqliteStore::WriteFirst() {
    // In WAL mode NORMAL keeps the file consistent; a crash may only lose the
    // last commits, which a later cleanup repeats.
    Execute("PRAGMA synchronous = NORMAL");
    Execute("PRAGMA cache_size = -16384");
    Execute("PRAGMA temp_store = MEMORY");
    // The host checkpoints between batches itself (CheckpointIfDue) so that
    // no commit pays for copying the log back.
    sqlite3_wal_autocheckpoint(m_db, 0);
    sqlite3_wal_hook(m_db, &CSqliteStore::OnWalCommit, this);
    if (m_dryRun) {
        return;  // the first writes below would outlive the rollback
    }
    if (m_origin == Origin::kNew) {
        // Only takes effect before the first table is created.
        Execute("PRAGMA auto_vacuum = INCREMENTAL");
    }
    CSqliteStatement journal = Prepare("PRAGMA journal_mode = WAL");
    if (!journal.Step() || journal.GetText(0) != "wal") {
        throw std::runtime_error("cannot switch the store to write-ahead logging");
    }
    journal.Reset();
    const std::int64_t version = QueryInt64("PRAGMA user_version");
    if (m_origin != Origin::kOurs) {
        WriteSchema();
    }
    if (m_origin == Origin::kEarlierBuild) {
        m_openNote = "marked the store of an earlier cleanup-agent as ours (application id " +
                     std::to_string(CStoreIdentity::kApplicationId) + ", schema version " +
                     std::to_string(kSchemaVersion) + ")";
    } else if (m_origin == Origin::kOlder) {
        m_openNote = "migrated the store from schema version " + std::to_string(version) + " to " +
                     std::to_string(kSchemaVersion);
    } else if (m_origin == Origin::kNew) {
        m_openNote = "created a new store (schema version " + std::to_string(kSchemaVersion) + ")";
    }
}

CSqliteStore::Origin CSqliteStore::CheckIdentity(bool create) {
    const std::string foreign = m_path + " is not a cleanup-agent store";
    // The first read: a file that is not a database at all (a text, an
    // image) fails here, before anything is written to it, and is refused
    // like any other program's file.
    std::int64_t objects = 0;
    try {
        objects = QueryInt64("SELECT count(*) FROM sqlite_master");
    } catch (const std::exception&) {
        if (sqlite3_errcode(m_db) == SQLITE_NOTADB) {
            Refuse(foreign);
        }
        throw std::runtime_error(sqlite3_errmsg(m_db));
    }
    const std::int64_t id = QueryInt64("PRAGMA application_id");
    const std::int64_t version = QueryInt64("PRAGMA user_version");
    if (id == CStoreIdentity::kApplicationId) {
        if (version > kSchemaVersion) {
            Refuse(m_path + " was made by a newer cleanup-agent (schema version " +
                   std::to_string(version) + "; this one knows up to " +
                   std::to_string(kSchemaVersion) + ")");
        }
        RefuseForeignCode();
        return version < kSchemaVersion ? Origin::kOlder : Origin::kOurs;
    }
    if (id == 0 && objects == 0 && create) {
        return Origin::kNew;
    }
    if (id == 0 && objects > 0 && ReadColumns(m_db) == OurColumns()) {
        RefuseForeignCode();
        return Origin::kEarlierBuild;
    }
    Refuse(foreign);
}

void CSqliteStore::RefuseForeignCode() {
    // This program makes neither triggers nor views. A trigger runs with the
    // agent's rights on the agent's own deletes and inserts (emptying a table
    // that no operation asked for); a view may hide one of its own.
    CSqliteStatement select(m_db,
                            "SELECT type, name FROM sqlite_master WHERE type NOT IN ('table', "
                            "'index') ORDER BY type, name");
    std::string found;
    while (select.Step()) {
        found += (found.empty() ? "" : ", ") + select.GetText(0) + " " + select.GetText(1);
    }
    if (!found.empty()) {
        Refuse(m_path + " holds schema objects cleanup-agent did not make (" + found +
               "); they would run with its rights on its deletes, so the store is left as it is");
    }
}

void CSqliteStore::Refuse(const std::string& sentence) {
    KeepLogOnClose();
    throw std::invalid_argument(sentence);
}

void CSqliteStore::KeepLogOnClose() {
    // Closing must not copy a log that was there before into a file that is
    // refused. An empty log (or none) is simply removed again on closing.
    if (m_hadLog && m_db != nullptr) {
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
}

void CSqliteStore::WriteSchema() {
    CSqliteTransaction transaction(*this);
    for (const std::string& statement : CSqliteSchema::Statements()) {
        Execute(statement);
    }
    Execute("PRAGMA application_id = " + std::to_string(CStoreIdentity::kApplicationId));
    Execute("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    transaction.Commit();
}

bool CSqliteStore::HasTable(const std::string& name) {
    CSqliteStatement select =
        Prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?1");
    select.Bind(1, name);
    return select.Step() && select.GetInt64(0) > 0;
}

void CSqliteStore::Close() noexcept {
    if (m_db != nullptr) {
        if (m_damaged) {
            sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        }
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

int CSqliteStore::OnBusy(void* self, int attempt) {
    CSqliteStore* const store = static_cast<CSqliteStore*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0) {
        store->m_busySince = now;
    }
    // A forced stop does not wait for another writer: the call fails at once.
    if (now - store->m_busySince >= store->m_busyTimeout.load() ||
        boost::this_thread::interruption_requested()) {
        return 0;
    }
    // Back-off from 1 to 16 ms: short enough to catch the brief gaps between
    // the transactions of a writer that holds the lock most of the time.
    std::this_thread::sleep_for(std::chrono::milliseconds(1 << std::min(attempt, 4)));
    return 1;
}

int CSqliteStore::OnWalCommit(void* self, sqlite3*, const char*, int pages) {
    static_cast<CSqliteStore*>(self)->m_walPages = pages;
    return SQLITE_OK;
}

void CSqliteStore::OnStatementError(void* self, int code, const std::string& message) {
    if ((code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB) {
        static_cast<CSqliteStore*>(self)->MarkDamaged(message);
    }
}

void CSqliteStore::MarkDamaged(const std::string& message) {
    std::lock_guard<std::mutex> lock(m_statsMutex);
    if (!m_damaged) {
        m_damage = message;
        m_damaged = true;
    }
}

std::string CSqliteStore::DamageText() const {
    std::lock_guard<std::mutex> lock(m_statsMutex);
    return "the store is damaged: " + m_damage +
           "; nothing more was changed; check it with PRAGMA integrity_check and restore from " +
           m_backupPath;
}

CSqliteStatement CSqliteStore::Prepare(const std::string& sql) {
    return CSqliteStatement(m_db, sql, &CSqliteStore::OnStatementError, this);
}

void CSqliteStore::Execute(const std::string& sql, const Parameters& parameters) {
    if (!parameters.empty()) {
        CSqliteStatement statement = Prepare(sql);
        statement.BindNumbered(parameters);
        statement.Run();
        return;
    }
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : sqlite3_errmsg(m_db);
        sqlite3_free(error);
        OnStatementError(this, sqlite3_extended_errcode(m_db), message);
        throw std::runtime_error(message);
    }
}

std::int64_t CSqliteStore::QueryInt64(const std::string& sql, const Parameters& parameters) {
    CSqliteStatement statement = Prepare(sql);
    statement.BindNumbered(parameters);
    return statement.Step() && !statement.IsNull(0) ? statement.GetInt64(0) : 0;
}

std::vector<std::int64_t> CSqliteStore::QueryInt64s(const std::string& sql,
                                                    const Parameters& parameters) {
    CSqliteStatement statement = Prepare(sql);
    statement.BindNumbered(parameters);
    std::vector<std::int64_t> values;
    while (statement.Step()) {
        if (!statement.IsNull(0)) {
            values.push_back(statement.GetInt64(0));
        }
    }
    return values;
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

std::int64_t CSqliteStore::AddStatusEvent(std::int64_t messageType, const std::string& name,
                                          const std::string& symbols,
                                          const std::string& symbolsProtobuf,
                                          std::int64_t receivedAt) {
    CSqliteTransaction transaction(*this);
    CSqliteStatement insert = Prepare(
        "INSERT INTO status_events(message_type, name, symbols, symbols_protobuf, "
        "received_at) VALUES (?1, ?2, ?3, ?4, ?5)");
    insert.Bind(1, messageType)
        .Bind(2, name)
        .BindBlob(3, symbols)
        .BindBlob(4, symbolsProtobuf)
        .Bind(5, receivedAt)
        .Run();
    const std::int64_t row = sqlite3_last_insert_rowid(m_db);
    transaction.Commit();
    return row;
}

IStore::DeleteResult CSqliteStore::DeleteInBatches(const DeletePlan& plan, std::size_t batchRows,
                                                   const BatchObserver& afterBatch) {
    CSqliteDeleteWalk walk(*this, plan);
    return CBatchedDelete<std::int64_t>(batchRows).Run(walk, afterBatch);
}

std::unique_ptr<IStore::RowWriter> CSqliteStore::WriteRows(const std::string& table,
                                                           const std::vector<std::string>& columns,
                                                           const boost::optional<TimeSpan>&) {
    return std::unique_ptr<RowWriter>(new CSqliteRowWriter(*this, table, columns));
}

bool CSqliteStore::AddRun(const RunRecord& run) {
    return CSqliteRunHistory(*this).Add(run);
}

std::vector<RunRecord> CSqliteStore::ReadRuns(std::size_t limit) {
    return CSqliteRunHistory(*this).Read(limit);
}

std::string CSqliteStore::BeginCall() {
    if (m_damaged) {
        return DamageText();
    }
    m_callStartBytes = GetFileBytes();
    return std::string();
}

std::int64_t CSqliteStore::EndCall() {
    Checkpoint(false);
    return std::max<std::int64_t>(0, GetFileBytes() - m_callStartBytes);
}

IStoreMaintenance& CSqliteStore::Maintenance() {
    if (!m_maintenance) {
        m_maintenance.reset(new CSqliteMaintenance(*this));
    }
    return *m_maintenance;
}

std::int64_t CSqliteStore::GetFileBytes() {
    return QueryInt64("PRAGMA page_count") * GetPageSize();
}

void CSqliteStore::RecordTransaction(double seconds, std::int64_t freedBytes,
                                     std::int64_t returnedBytes) {
    m_tally.Record(seconds, freedBytes, returnedBytes);
}

void CSqliteStore::CheckpointIfDue() {
    if (m_dryRun || m_damaged) {
        return;
    }
    if (m_walPages >= kCheckpointPages ||
        CSqliteDiskSpace::FreeBytes(m_db, m_path) < kCheckpointPages * GetPageSize()) {
        sqlite3_wal_checkpoint_v2(m_db, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        m_walPages = 0;
    }
}

void CSqliteStore::Checkpoint(bool truncate) {
    if (m_dryRun || m_damaged) {
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

CSqliteStore::LogSizes CSqliteStore::TruncateLog() {
    LogSizes sizes;
    sizes.before = LogFileBytes();
    if (m_dryRun || m_damaged) {
        sizes.after = sizes.before;
        return sizes;
    }
    sqlite3_wal_checkpoint_v2(m_db, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    // Truncating waits for the writer lock and for the readers; a reader
    // that stays must not keep the other writers waiting behind us.
    const std::chrono::milliseconds busyTimeout = m_busyTimeout;
    m_busyTimeout = kTruncateWait;
    const int code =
        sqlite3_wal_checkpoint_v2(m_db, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    m_busyTimeout = busyTimeout;
    if (code != SQLITE_OK && code != SQLITE_BUSY) {
        throw std::runtime_error(sqlite3_errmsg(m_db));
    }
    m_walPages = 0;
    sizes.truncated = code == SQLITE_OK;
    sizes.after = LogFileBytes();
    return sizes;
}

std::int64_t CSqliteStore::LogFileBytes() const {
    struct stat status {};
    return ::stat((m_path + "-wal").c_str(), &status) == 0 ? status.st_size : 0;
}

}  // namespace Host
}  // namespace Kol
