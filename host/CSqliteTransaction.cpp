#include "host/CSqliteTransaction.h"

#include "host/CSqliteStore.h"

namespace Kol {
namespace Host {

CSqliteTransaction::CSqliteTransaction(CSqliteStore& store)
    : m_store(store),
      m_lock(store.TransactionMutex()),
      m_savepoint(store.IsDryRun()),
      m_open(false),
      m_start(std::chrono::steady_clock::now()) {
    // IMMEDIATE takes the write lock at once, so a busy store shows up here
    // (after the busy timeout) and never half-way through a batch.
    m_store.Execute(m_savepoint ? "SAVEPOINT batch" : "BEGIN IMMEDIATE");
    m_open = true;
}

CSqliteTransaction::~CSqliteTransaction() {
    if (!m_open) {
        return;
    }
    try {
        m_store.Execute(m_savepoint ? "ROLLBACK TO batch; RELEASE batch" : "ROLLBACK");
    } catch (const std::exception&) {
        // SQLite rolls back by itself after the errors that leave it unable to.
    }
}

void CSqliteTransaction::Commit() {
    m_store.Execute(m_savepoint ? "RELEASE batch" : "COMMIT");
    m_open = false;
    m_store.RecordTransaction(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count());
    m_store.CheckpointIfLarge();
}

}  // namespace Host
}  // namespace Kol
