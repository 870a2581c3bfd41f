#pragma once

#include <cstddef>
#include <vector>

#include "host/store/RunRecord.h"

namespace Kol {
namespace Host {

class CSqliteStore;

// The run history of an SQLite store: the table run_history (schema version
// 2, CSqliteSchema), one row per run, the newest RunRecord::kKeptRows kept.
//
// Same thread as the store's other calls; the store outlives this object.
// Throws std::runtime_error with SQLite's message.
class CSqliteRunHistory {
public:
    explicit CSqliteRunHistory(CSqliteStore& store) : m_store(store) {}

    // IStore::AddRun: one CSqliteTransaction that commits also in a dry run,
    // the insert and the drop of the rows past the kept ones.
    bool Add(const RunRecord& run);
    // IStore::ReadRuns.
    std::vector<RunRecord> Read(std::size_t limit);

private:
    CSqliteStore& m_store;
};

}  // namespace Host
}  // namespace Kol
