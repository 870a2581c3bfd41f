#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <boost/function.hpp>

#include "host/store/CStoreDescription.h"

namespace Kol {
namespace Host {

// The work of the storage, indexes, backup and old-logs operations whose
// means differ per store (SQLite: incremental vacuum, REINDEX, the online
// backup, one walk over logs; PostgreSQL: VACUUM, REINDEX CONCURRENTLY,
// pg_dump, dropping whole partitions). Reached through IStore::Maintenance;
// the mappers hold this interface only and turn each Result into their
// report entry.
//
// Bytes freed and returned count in the store's totals
// (IStore::GetFreedBytesTotal, GetReturnedBytesTotal), as for a delete.
//
// Thread-safety: the store's thread, one call at a time. Each call reads the
// calling thread's interruption flag (boost::this_thread) between its steps
// and stops there with Result::interrupted. Errors throw std::runtime_error
// with the database's or the tool's message; work committed before stays.
//
// Dry run: nothing is changed; the figures are what a real run would do.
class IStoreMaintenance {
public:
    // What one call did.
    struct Result {
        std::uint64_t rows = 0;    // rows removed (DropOldLogs)
        std::string detail;        // the facts for the operator ("" when none)
        bool interrupted = false;  // stopped early; the rest is left for a later run
        // What was skipped and left for a later run, and why, one line each
        // (e.g. a partition another session holds a lock on).
        std::vector<std::string> warnings;
    };

    // Progress of DropOldLogs, after each committed delete batch and each
    // group of rows removed otherwise (dropped partitions).
    struct Progress {
        std::uint64_t rows = 0;  // removed by the whole call so far
        // After a delete batch: that walk's batches and rows so far; both 0
        // after rows removed otherwise.
        std::uint64_t walkBatches = 0;
        std::uint64_t walkRows = 0;
    };
    typedef boost::function<void(const Progress& soFar)> ProgressObserver;

    // The five cut-offs of DropOldLogs, Unix seconds: retention class k
    // (1 to 5) keeps the logs created from cutoffs[k - 1] on.
    typedef std::int64_t Cutoffs[5];

    // A part of the logs that the store gives its space back for only when
    // it goes whole (PostgreSQL: a retention class's span partition).
    struct WholePart {
        std::int64_t from = 0;   // it holds logs created from `from` on, before `to`
        std::int64_t to = 0;     // (Unix seconds)
        std::int64_t bytes = 0;  // with its indexes and TOAST data
    };

    virtual ~IStoreMaintenance() = default;

    // Gives the space that deleted rows left back to the store (and, where
    // the store can, to the file system). Call after the deletes it is for.
    virtual Result ReleaseSpace() = 0;
    // Rebuilds every index of the store's tables and refreshes their
    // statistics, one short step at a time.
    virtual Result RebuildIndexes() = 0;
    // Writes a verified copy of the store to IStore::GetBackupPath(), which
    // is replaced only by a complete one. Throws std::runtime_error "backup
    // to <path> failed: <reason>" (no temporary file stays). Interrupted, the
    // previous backup stays as it was.
    virtual Result Backup() = 0;
    // Deletes the logs of each retention class created before its cut-off,
    // in batches of at most `batchRows` rows (each its own transaction).
    virtual Result DropOldLogs(const Cutoffs& cutoffs, std::size_t batchRows,
                               const ProgressObserver& progress) = 0;
    // The bytes the store takes on disk now (SQLite: the file and its
    // write-ahead log; PostgreSQL: the database's size). Reads only.
    virtual std::int64_t StoreBytes() = 0;
    // The bytes `table` takes with its indexes (PostgreSQL: all its
    // partitions). Reads only.
    virtual std::int64_t TableBytes(const std::string& table) = 0;
    // An estimate of what ReleaseSpace would return to the file system once
    // rows taking `freedInside` bytes of their tables are deleted (SQLite: with
    // the free pages already in the file, when the file uses incremental
    // auto-vacuum; else nothing). Reads only.
    virtual std::int64_t EstimateReturnedBytes(std::int64_t freedInside) = 0;
    // The bytes a size limit (--max-size) bounds (SQLite: StoreBytes, the
    // file and its write-ahead log; PostgreSQL: logs and log_blobs with
    // their indexes, all partitions). Reads only.
    virtual std::int64_t LimitedBytes() = 0;
    // The bytes unprivileged users may still add to the file system that
    // holds the store (statvfs f_bavail * f_frsize, or what a simulated disk
    // says); -1 when the store cannot tell (PostgreSQL: the server's disk).
    // Reads only; never throws.
    virtual std::int64_t AvailableBytes() = 0;
    // True when ReleaseSpace can make the store smaller on disk (SQLite:
    // only a file with incremental auto-vacuum). Reads only.
    virtual bool CanShrink() = 0;
    // True when the space of deleted logs stays inside the store's tables,
    // reused for new rows, and only WholeParts dropped give theirs back
    // (PostgreSQL: a vacuum returns only a table's empty trailing pages);
    // false when ReleaseSpace gives it back (SQLite). Reads only.
    virtual bool KeepsDeletedSpace() = 0;
    // The parts that go only whole, in the order of `to`, then of their
    // classes (SQLite: none). Reads only.
    virtual std::vector<WholePart> WholeParts() = 0;
    // Drops, oldest first, every whole part whose `to` is at or before `cut`:
    // the logs they held in Result::rows (counted exactly before each drop),
    // their bytes freed and returned. A part whose lock is not granted within
    // --busy-timeout is left and named in a warning. The logs' blobs stay,
    // for the orphan-blob delete. A dry run only counts. SQLite: nothing.
    virtual Result DropWholeParts(std::int64_t cut) = 0;
    // The store's kind, size and own facts (CStoreDescription). Reads only;
    // throws std::runtime_error as the store does.
    virtual CStoreDescription Describe() = 0;
};

}  // namespace Host
}  // namespace Kol
