#include "host/store/sqlite/CSqliteTransaction.h"

#include <stdexcept>

#include "host/store/sqlite/CSqliteStore.h"

namespace Kol {
namespace Host {

CSqliteTransaction::CSqliteTransaction(CSqliteStore& store, Ending ending)
    : m_store(store),
      m_lock(store.TransactionMutex()),
      m_rollBackOnCommit(store.IsDryRun() && ending == Ending::kAsTheRun),
      m_open(false),
      m_start(std::chrono::steady_clock::now()),
      m_pagesBefore(0),
      m_freePagesBefore(0) {
    if (m_store.IsDamaged()) {
        throw std::runtime_error(m_store.DamageText());
    }
    // IMMEDIATE takes the write lock at once, so a busy store shows up here
    // (after the busy timeout) and never half-way through a batch.
    m_store.Execute("BEGIN IMMEDIATE");
    m_open = true;
    // Measured under the write lock: what this transaction frees, whatever
    // other writers do before or after it.
    m_pagesBefore = m_store.QueryInt64("PRAGMA page_count");
    m_freePagesBefore = m_store.QueryInt64("PRAGMA freelist_count");
}

CSqliteTransaction::~CSqliteTransaction() {
    if (!m_open) {
        return;
    }
    try {
        m_store.Execute("ROLLBACK");
    } catch (const std::exception&) {
        // SQLite rolls back by itself after the errors that leave it unable to.
    }
}

void CSqliteTransaction::Commit() {
    const std::int64_t pages = m_store.QueryInt64("PRAGMA page_count");
    const std::int64_t freePages = m_store.QueryInt64("PRAGMA freelist_count");
    m_store.Execute(m_rollBackOnCommit ? "ROLLBACK" : "COMMIT");
    m_open = false;
    const std::int64_t pageSize = m_store.GetPageSize();
    m_store.RecordTransaction(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count(),
        ((m_pagesBefore - m_freePagesBefore) - (pages - freePages)) * pageSize,
        (m_pagesBefore - pages) * pageSize);
    m_store.CheckpointIfDue();
}

}  // namespace Host
}  // namespace Kol
