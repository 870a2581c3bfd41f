#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <boost/function.hpp>
#include <boost/optional.hpp>

#include "host/store/RunRecord.h"

namespace Kol {
namespace Host {

class IStoreMaintenance;

// The agent's store as the host's mappers, seeder and status event recorder
// see it: the same tables and columns on every store (settings, logs, owners,
// log_blobs, static_objects, enrollment_tombstones, status_events), plain SQL
// that both stores understand, and the few kinds of work whose SQL must differ
// (a batched delete, bulk rows). What differs beyond that (space, index
// rebuilds, backups, old logs) is the store's IStoreMaintenance.
//
// Errors: every call that reaches the database throws std::runtime_error
// with the database's message; a store found damaged refuses further writes.
//
// Thread-safety: one thread at a time; the host hands the store from its main
// thread to the module's processing thread and back.
//
// Dry run: opening writes nothing, every transaction the store runs on its
// own (a delete batch, a row writer's, a setting, a status event) is rolled
// back where a real run commits. Execute runs as it is: callers use it for
// scratch tables only. The one exception is AddRun: the run history's row
// is the one thing a dry run writes.
class IStore {
public:
    // Integer values for the parameters $1, $2, ... of the statements below,
    // in that order; each store binds them natively (SQLite by those names,
    // PostgreSQL by position, typed as what they are compared with or stored
    // in). Every value must be used by the statement.
    typedef std::vector<std::int64_t> Parameters;

    // The rows of one table that match a condition, deleted in batches of
    // short transactions along a key the store knows from its schema.
    struct DeletePlan {
        DeletePlan() = default;
        DeletePlan(std::string table_, std::string condition_, Parameters parameters_ = {})
            : table(std::move(table_)),
              condition(std::move(condition_)),
              parameters(std::move(parameters_)) {}

        std::string table;      // e.g. "logs"
        std::string condition;  // SQL condition on the table's columns; may use $1 ...
        Parameters parameters;  // e.g. {1700000000} for "created_at < $1"
    };

    struct DeleteResult {
        std::uint64_t rows = 0;
        std::uint64_t batches = 0;
        bool interrupted = false;  // the calling thread was asked to stop
    };

    // Called after each committed batch with the totals so far.
    typedef boost::function<void(const DeleteResult& soFar)> BatchObserver;

    // One column value of a row written by a RowWriter.
    struct Value {
        enum class Kind { kNull, kInteger, kText, kBlob };
        Value() = default;

        Kind kind = Kind::kNull;
        std::int64_t integer = 0;
        std::string bytes;  // text or blob

        static Value Null() { return Value(); }
        static Value Integer(std::int64_t v) { return Value(Kind::kInteger, v, std::string()); }
        static Value Text(std::string v) { return Value(Kind::kText, 0, std::move(v)); }
        static Value Blob(std::string v) { return Value(Kind::kBlob, 0, std::move(v)); }

    private:
        Value(Kind k, std::int64_t i, std::string b) : kind(k), integer(i), bytes(std::move(b)) {}
    };

    // Unix seconds, both included.
    struct TimeSpan {
        std::int64_t from = 0;
        std::int64_t to = 0;
    };

    // Appends rows to one table inside one transaction of its own (COPY on
    // PostgreSQL). Rolled back when dropped without Commit.
    class RowWriter {
    public:
        virtual ~RowWriter() = default;
        // `row` holds one value per column named when the writer was made.
        virtual void Add(const std::vector<Value>& row) = 0;
        virtual void Commit() = 0;
    };

    virtual ~IStore() = default;

    // The second step of opening, after CStoreFactory::Open has checked the
    // store without writing and the caller has run its own checks (settings):
    // the store's first writes (on SQLite the lock of an existing file, then
    // the journal mode; the schema of a new store, a migration, the coming
    // weeks' partitions on PostgreSQL). A dry run writes nothing. Call once;
    // a store dropped before it is closed as it was found. Throws
    // std::invalid_argument for a refusal (another run holds the lock),
    // std::runtime_error "cannot open store <name>: <reason>" otherwise.
    virtual void FinishOpening() = 0;

    // The store as an operator names it: the file's path, or the connection
    // URI with any password masked. Never holds a password.
    virtual std::string GetName() const = 0;
    // Where the storage cleanup's backup goes.
    virtual const std::string& GetBackupPath() const = 0;
    // What opening did to the store's identity ("" when nothing), for the log.
    virtual const std::string& GetOpenNote() const = 0;
    virtual bool IsDryRun() const = 0;

    virtual bool HasTable(const std::string& name) = 0;
    // The first column of the first row of `sql`; 0 when there is no row or
    // it is NULL.
    virtual std::int64_t QueryInt64(const std::string& sql,
                                    const Parameters& parameters = Parameters()) = 0;
    // The first column of every row (NULLs skipped).
    virtual std::vector<std::int64_t> QueryInt64s(const std::string& sql,
                                                  const Parameters& parameters = Parameters()) = 0;
    virtual void Execute(const std::string& sql, const Parameters& parameters = Parameters()) = 0;

    virtual boost::optional<std::string> GetSetting(const std::string& key) = 0;
    // Writes in its own short transaction.
    virtual void SetSetting(const std::string& key, const std::string& value) = 0;

    // Stores one status event in its own transaction; returns its row id.
    virtual std::int64_t AddStatusEvent(std::int64_t messageType, const std::string& name,
                                        const std::string& symbols,
                                        const std::string& symbolsProtobuf,
                                        std::int64_t receivedAt) = 0;

    // Adds `run` to the table run_history in a short transaction of its own,
    // which commits also in a dry run, and drops in it every row but the
    // newest RunRecord::kKeptRows. Call it once at the end of a run, outside
    // any batch. Returns false, writing nothing, when the store has no run
    // history yet: a store of an older schema opened for a dry run, which
    // migrates nothing. Throws std::runtime_error with the database's message
    // (a read-only or damaged store, a lost connection).
    virtual bool AddRun(const RunRecord& run) = 0;
    // The newest `limit` rows of the run history, newest first (by id);
    // empty when the store has none yet. Throws std::runtime_error.
    virtual std::vector<RunRecord> ReadRuns(std::size_t limit) = 0;

    // Deletes the rows of `plan` in batches of at most `batchRows` rows,
    // each its own transaction; the calling thread's interruption flag
    // (boost::this_thread::interruption_requested) is read before each batch.
    // Only the rows present when it starts are visited. The failing batch is
    // rolled back; earlier ones stay and were passed to `afterBatch`.
    virtual DeleteResult DeleteInBatches(const DeletePlan& plan, std::size_t batchRows,
                                         const BatchObserver& afterBatch) = 0;

    // A writer of rows of `table` with values for `columns`. For logs,
    // `createdAt` (when given) spans the created_at of every row to come: a
    // store that files logs by their time makes a place for all of it first,
    // so that each row lands in its own (PostgreSQL's two-week partitions;
    // SQLite needs none).
    virtual std::unique_ptr<RowWriter> WriteRows(
        const std::string& table, const std::vector<std::string>& columns,
        const boost::optional<TimeSpan>& createdAt = boost::none) = 0;

    // Bracket one mapper call, also one that fails. BeginCall returns "" when
    // the store takes writes, else why it takes none any more and where to
    // restore from (the caller then refuses the call). EndCall leaves the
    // store ready for the next call (SQLite copies its write-ahead log back,
    // so that the next call reuses the log's space rather than grow the file
    // on a nearly full disk) and returns by how many bytes the store grew
    // since BeginCall through other writers (0 when it did not or the store
    // cannot tell cheaply). EndCall throws std::runtime_error.
    virtual std::string BeginCall() = 0;
    virtual std::int64_t EndCall() = 0;

    // Bookkeeping for the report: the bytes the store's own transactions
    // freed inside it and returned to the file system since it was opened,
    // and the longest write transaction since the previous
    // TakeLongestTransaction.
    virtual std::int64_t GetFreedBytesTotal() const = 0;
    virtual std::int64_t GetReturnedBytesTotal() const = 0;
    virtual double TakeLongestTransaction() = 0;

    // The store's own ways of releasing space, rebuilding indexes, backing up
    // and dropping old logs; lives as long as the store. Same thread as the
    // store's other calls; never throws.
    virtual IStoreMaintenance& Maintenance() = 0;

    // Asks the statement the store's thread has in flight to end now (a
    // signal came); the statement fails with the database's message, and
    // later ones wait for no lock. The one call that ANY thread may make,
    // also while the store's thread is inside a call. Never throws. The
    // default does nothing: a SQLite store's waits end on the thread's
    // interruption flag.
    virtual void Cancel() noexcept {}
};

}  // namespace Host
}  // namespace Kol
