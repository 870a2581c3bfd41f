#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include <boost/function.hpp>

namespace Kol {
namespace Host {

// How to open a store, whichever backend --db names (CStoreFactory): filled
// once from the command line, read by both stores. A field one backend has
// no use for is ignored by it.
struct StoreOptions {
    // Rows per delete batch and per write transaction: the default and the
    // largest allowed (--batch-rows).
    static constexpr std::size_t kDefaultBatchRows = 10000;
    static constexpr std::size_t kMaxBatchRows = 10000;
    static constexpr std::chrono::milliseconds kDefaultBusyTimeout{30000};
    static constexpr std::chrono::milliseconds kDefaultLockTimeout{100};
    static constexpr std::chrono::milliseconds kMaxLockTimeout{60000};

    // As given: a file's path (taken as a plain name, never an SQLite URI),
    // or a "postgresql://" / "postgres://" URI.
    std::string db;
    // Where the backup goes, as given; "" for the store's own default (the
    // file's real path + ".bak", "<database>.dump" in the working folder).
    std::string backup;
    bool create = true;   // make the store in an absent file or an empty schema
    bool dryRun = false;  // write nothing: every transaction rolls back
    // Only read an existing store: no lock, no check that writes, no file
    // beside it (SQLite), a read-only session (PostgreSQL); a dry run too.
    // FinishOpening must not be called (it throws std::logic_error).
    bool readOnly = false;
    // PostgreSQL only: open a store whose tables another role owns (else
    // refused, since the agent would act with rights not the owner's).
    bool allowOtherOwner = false;
    // How long to try for another run's lock on the store; `stopWaiting`
    // returning true (a signal came) ends the wait early.
    std::chrono::seconds wait{0};
    boost::function<bool()> stopWaiting;
    // SQLite only: how long a statement that finds another connection holding
    // the lock (SQLITE_BUSY) is retried, with a back-off of 1 to 16 ms, before
    // it fails with "database is locked". A thread asked to interrupt stops
    // waiting at once.
    std::chrono::milliseconds busyTimeout = kDefaultBusyTimeout;
    // PostgreSQL only: how long one schema change (a partition made or
    // dropped) waits for its lock before it gives way to the sessions queued
    // behind it and is tried again, with back-off and jitter, until
    // busyTimeout. Short, so that no insert waits long behind it.
    std::chrono::milliseconds lockTimeout = kDefaultLockTimeout;
    // SQLite only: the file system to open the file with; "" the default
    // (only a test build's fault injection sets it).
    std::string vfs;
};

}  // namespace Host
}  // namespace Kol
