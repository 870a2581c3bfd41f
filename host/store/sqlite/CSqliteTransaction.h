#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace Kol {
namespace Host {

class CSqliteStore;

// One short write transaction on a store: BEGIN IMMEDIATE ... COMMIT; on a
// store opened for a dry run, Commit rolls back instead (after measuring), so
// a dry run holds the write lock for one batch at a time, as a real run does.
// A transaction made with kCommitAlways commits in a dry run too (the run
// history's row). Rolled back when the object goes without Commit. Holds the store's
// transaction mutex for its whole life and reports to the store on Commit its
// duration and the bytes of pages it freed and gave back.
//
// Belongs to the thread that created it. The constructor and Commit throw
// std::runtime_error with SQLite's message (the constructor the store's
// DamageText on a damaged store); the destructor never throws.
class CSqliteTransaction {
public:
    enum class Ending { kAsTheRun, kCommitAlways };

    explicit CSqliteTransaction(CSqliteStore& store, Ending ending = Ending::kAsTheRun);
    ~CSqliteTransaction();

    CSqliteTransaction(const CSqliteTransaction&) = delete;
    CSqliteTransaction& operator=(const CSqliteTransaction&) = delete;

    void Commit();

private:
    CSqliteStore& m_store;
    std::unique_lock<std::recursive_mutex> m_lock;
    const bool m_rollBackOnCommit;  // a dry run
    bool m_open;
    std::chrono::steady_clock::time_point m_start;
    std::int64_t m_pagesBefore;
    std::int64_t m_freePagesBefore;
};

}  // namespace Host
}  // namespace Kol
