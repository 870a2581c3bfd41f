#pragma once

#include <string>
#include <vector>

#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

class CSqliteStore;

// The SQLite store's maintenance (IStoreMaintenance):
// - space: incremental vacuum in short steps, then a checkpoint that also
//   empties the write-ahead log (a store made without incremental
//   auto-vacuum keeps its free pages, and says how to change that);
// - indexes: REINDEX of each index and ANALYZE of each table, each in a
//   transaction of its own rather than one for the whole store (a single
//   index still takes as long as its table is large);
// - backup: CSqliteBackup;
// - old logs: all five classes in one walk over `logs` in id order, which
//   touches each page once instead of once per class.
//
// Owned by its store and used on the store's thread; see IStoreMaintenance
// for errors, interruption and the dry run.
class CSqliteMaintenance : public IStoreMaintenance {
public:
    explicit CSqliteMaintenance(CSqliteStore& store);

    Result ReleaseSpace() override;
    Result RebuildIndexes() override;
    Result Backup() override;
    Result DropOldLogs(const Cutoffs& cutoffs, std::size_t batchRows,
                       const ProgressObserver& progress) override;
    std::int64_t StoreBytes() override;
    std::int64_t TableBytes(const std::string& table) override;
    std::int64_t EstimateReturnedBytes(std::int64_t freedInside) override;
    std::int64_t LimitedBytes() override;
    std::int64_t AvailableBytes() override;
    bool CanShrink() override;
    bool KeepsDeletedSpace() override;
    std::vector<WholePart> WholeParts() override;
    Result DropWholeParts(std::int64_t cut) override;
    CStoreDescription Describe() override;

private:
    // Returns false when interrupted.
    bool ReleaseFreePages(Result& result);
    // The names of the schema's objects of `type`, the statistics tables left out.
    std::vector<std::string> Names(const char* type);
    // Runs `statement` in its own transaction; false (and nothing run) when
    // the thread is asked to interrupt.
    bool Run(const std::string& statement);

    CSqliteStore& m_store;
};

}  // namespace Host
}  // namespace Kol
