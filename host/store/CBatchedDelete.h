#pragma once

#include <cstddef>
#include <cstdint>

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

class CSqliteStore;

// Deletes the rows of one table that match a condition in batches, each in
// its own short write transaction, so that another writer never waits long.
// The batches follow an ascending integer key (any value from INT64_MIN to
// INT64_MAX) through windows of at most `windowKeys` keys, each starting at
// the next key present in the table: outside any transaction the walk finds
// the key of the batchRows-th match in the window (or takes the whole window
// when it holds fewer), then deletes the matches up to that key in one
// transaction. A batch therefore removes at most `batchRows` rows and reads at
// most `windowKeys` rows, however sparse the matches are, and the whole walk
// costs what the rows it visits cost, however far apart their keys are.
// Since rows are appended in key order, one batch touches a compact run of
// pages, which keeps the write-ahead log small and the whole walk close to
// the cost of one big DELETE.
//
// Only the keys present when the walk starts are visited; rows added later
// are left to a later run. Should another writer add matches inside a window
// between the search and the delete, and the batch grow beyond batchRows
// rows, the batch is rolled back and searched again.
//
// Before each batch the calling thread's interruption flag is read
// (boost::this_thread::interruption_requested): when set, the walk stops there
// and reports itself interrupted; a later run removes the rest.
//
// Runs on the calling thread, which must be a boost::thread for a forced stop
// to reach the walk (a std::thread has no interruption flag). Throws
// std::runtime_error with SQLite's message (the failing batch is rolled back,
// earlier ones stay and were passed to the observer).
class CBatchedDelete {
public:
    typedef IStore::DeletePlan Plan;
    typedef IStore::DeleteResult Result;
    typedef IStore::BatchObserver BatchObserver;

    static const std::int64_t kDefaultWindowKeys = 50000;

    // `batchRows` and `windowKeys` must be at least 1; throws
    // std::invalid_argument otherwise.
    CBatchedDelete(CSqliteStore& store, std::size_t batchRows,
                   std::int64_t windowKeys = kDefaultWindowKeys);

    Result Run(const Plan& plan, const BatchObserver& afterBatch = BatchObserver()) const;

private:
    CSqliteStore& m_store;
    const std::size_t m_batchRows;
    const std::int64_t m_windowKeys;
};

}  // namespace Host
}  // namespace Kol
