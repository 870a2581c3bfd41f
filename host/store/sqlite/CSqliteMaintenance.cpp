#include "host/store/sqlite/CSqliteMaintenance.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include <boost/thread/thread.hpp>

#include "host/store/CCleanupConditions.h"
#include "host/store/sqlite/CSqliteBackup.h"
#include "host/store/sqlite/CSqliteDiskSpace.h"
#include "host/store/sqlite/CSqliteStatement.h"
#include "host/store/sqlite/CSqliteStore.h"
#include "host/store/sqlite/CSqliteTransaction.h"

namespace Kol {
namespace Host {

namespace {

// Pages moved and released per step; keeps each step's transaction short.
const std::int64_t kVacuumStepPages = 1024;
const std::int64_t kIncrementalAutoVacuum = 2;

std::string QuoteName(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

}  // namespace

CSqliteMaintenance::CSqliteMaintenance(CSqliteStore& store) : m_store(store) {}

std::int64_t CSqliteMaintenance::StoreBytes() {
    // The file's size, not its pages: free pages take disk space too.
    struct stat status {};
    if (::stat(m_store.GetPath().c_str(), &status) != 0) {
        throw std::runtime_error("cannot read the size of " + m_store.GetPath());
    }
    return status.st_size + m_store.LogFileBytes();
}

std::int64_t CSqliteMaintenance::TableBytes(const std::string& table) {
    // The pages of the table and of every index on it.
    std::string quoted;
    for (const char c : table) {
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return m_store.QueryInt64(
        "SELECT coalesce(sum(pgsize), 0) FROM dbstat WHERE name IN (SELECT name FROM"
        " sqlite_schema WHERE tbl_name = '" +
        quoted + "')");
}

CStoreDescription CSqliteMaintenance::Describe() {
    static const char* const kModes[] = {"none", "full", "incremental"};
    CStoreDescription description;
    description.kind = "sqlite";
    description.schemaVersion = m_store.QueryInt64("PRAGMA user_version");
    description.bytes = StoreBytes();
    description.logBytes = m_store.LogFileBytes();
    description.freeBytes =
        m_store.QueryInt64("PRAGMA freelist_count") * m_store.QueryInt64("PRAGMA page_size");
    const std::int64_t mode = m_store.QueryInt64("PRAGMA auto_vacuum");
    description.autoVacuum = mode >= 0 && mode <= 2 ? kModes[mode] : std::to_string(mode);
    return description;
}

std::int64_t CSqliteMaintenance::LimitedBytes() {
    return StoreBytes();
}

std::int64_t CSqliteMaintenance::AvailableBytes() {
    return CSqliteDiskSpace::FreeBytes(m_store.GetHandle(), m_store.GetPath());
}

bool CSqliteMaintenance::CanShrink() {
    return m_store.QueryInt64("PRAGMA auto_vacuum") == kIncrementalAutoVacuum;
}

bool CSqliteMaintenance::KeepsDeletedSpace() {
    return false;  // incremental auto-vacuum returns the free pages
}

std::vector<IStoreMaintenance::WholePart> CSqliteMaintenance::WholeParts() {
    return {};  // one table, whose deletes free pages
}

IStoreMaintenance::Result CSqliteMaintenance::DropWholeParts(std::int64_t /*cut*/) {
    return Result();
}

std::int64_t CSqliteMaintenance::EstimateReturnedBytes(std::int64_t freedInside) {
    if (!CanShrink()) {
        return 0;
    }
    return freedInside +
           m_store.QueryInt64("PRAGMA freelist_count") * m_store.QueryInt64("PRAGMA page_size");
}

IStoreMaintenance::Result CSqliteMaintenance::ReleaseSpace() {
    Result result;
    if (ReleaseFreePages(result)) {
        result.detail += (result.detail.empty() ? "" : "; ") + m_store.TruncateLog().Text();
    }
    return result;
}

bool CSqliteMaintenance::ReleaseFreePages(Result& result) {
    if (!CanShrink()) {
        result.detail =
            "the store does not use incremental auto-vacuum, so its free pages stay in the file; "
            "to change that, run PRAGMA auto_vacuum = INCREMENTAL and then VACUUM on it once, "
            "while no cleanup-agent runs";
        return true;
    }
    std::int64_t freePages = m_store.QueryInt64("PRAGMA freelist_count");
    while (freePages > 0) {
        if (boost::this_thread::interruption_requested()) {
            result.interrupted = true;
            return false;
        }
        CSqliteTransaction transaction(m_store);
        m_store.Execute("PRAGMA incremental_vacuum(" +
                        std::to_string(std::min(freePages, kVacuumStepPages)) + ")");
        transaction.Commit();
        const std::int64_t left = m_store.QueryInt64("PRAGMA freelist_count");
        if (left >= freePages) {
            break;  // nothing moves any more; leave the rest
        }
        freePages = left;
    }
    return true;
}

IStoreMaintenance::Result CSqliteMaintenance::RebuildIndexes() {
    Result result;
    const std::vector<std::string> indexes = Names("index");
    const std::vector<std::string> tables = Names("table");
    for (const std::string& index : indexes) {
        if (!Run("REINDEX " + QuoteName(index))) {
            result.interrupted = true;
            return result;
        }
    }
    for (const std::string& table : tables) {
        if (!Run("ANALYZE " + QuoteName(table))) {
            result.interrupted = true;
            return result;
        }
    }
    result.detail = "rebuilt " + std::to_string(indexes.size()) +
                    " indexes and refreshed the statistics of " + std::to_string(tables.size()) +
                    " tables";
    return result;
}

std::vector<std::string> CSqliteMaintenance::Names(const char* type) {
    std::vector<std::string> names;
    CSqliteStatement list = m_store.Prepare(
        "SELECT name FROM sqlite_master WHERE type = ?1 AND name NOT LIKE 'sqlite_stat%'"
        " ORDER BY name");
    list.Bind(1, std::string(type));
    while (list.Step()) {
        names.push_back(list.GetText(0));
    }
    return names;
}

bool CSqliteMaintenance::Run(const std::string& statement) {
    if (boost::this_thread::interruption_requested()) {
        return false;
    }
    CSqliteTransaction transaction(m_store);
    m_store.Execute(statement);
    transaction.Commit();
    return true;
}

IStoreMaintenance::Result CSqliteMaintenance::Backup() {
    return CSqliteBackup(m_store).Write();
}

IStoreMaintenance::Result CSqliteMaintenance::DropOldLogs(const Cutoffs& cutoffs,
                                                          std::size_t batchRows,
                                                          const ProgressObserver& progress) {
    const IStore::DeletePlan plan = CCleanupConditions::OldLogs(cutoffs);
    const IStore::DeleteResult deleted =
        m_store.DeleteInBatches(plan, batchRows, [&progress](const IStore::DeleteResult& soFar) {
            Progress now;
            now.rows = now.walkRows = soFar.rows;
            now.walkBatches = soFar.batches;
            if (progress) {
                progress(now);
            }
        });
    Result result;
    result.rows = deleted.rows;
    result.interrupted = deleted.interrupted;
    return result;
}

}  // namespace Host
}  // namespace Kol
