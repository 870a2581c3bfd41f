#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <boost/function.hpp>

namespace Kol {
namespace Host {

class CSqliteStore;

// Deletes the rows of one table that match a condition in batches of at most
// `batchRows` rows, each in its own short write transaction, so that another
// writer never waits long. The batches follow an ascending integer key: each
// batch first finds the key of its last row (the batchRows-th match after the
// previous batch), then deletes the matches up to it. Since rows are appended
// in key order, one batch touches a compact run of table pages, which keeps
// the write-ahead log small and the whole walk close to the cost of one big
// DELETE.
//
// Before each batch the calling thread's interruption flag is read
// (boost::this_thread::interruption_requested): when set, the walk stops there
// and reports itself interrupted; a later run removes the rest.
//
// Runs on the calling thread; throws std::runtime_error with SQLite's message
// (the failing batch is rolled back, earlier ones stay).
class CBatchedDelete {
public:
    struct Plan {
        std::string table;      // e.g. "logs"
        std::string key;        // ascending integer key: "id" or "rowid"
        std::string condition;  // SQL condition; may use the named parameters below
        std::vector<std::pair<std::string, std::int64_t>> parameters;  // e.g. {":c1", 1700000000}
        // Walk the table itself rather than an index the planner may choose
        // (for conditions made of several index ranges, where the planner's
        // choice would sort all matches again for every batch).
        bool walkTable = false;
    };

    struct Result {
        std::uint64_t rows = 0;
        std::uint64_t batches = 0;
        bool interrupted = false;
    };

    // Called after each committed batch with the totals so far.
    typedef boost::function<void(const Result& soFar)> BatchObserver;

    // `batchRows` must be at least 1.
    CBatchedDelete(CSqliteStore& store, std::size_t batchRows);

    Result Run(const Plan& plan, const BatchObserver& afterBatch = BatchObserver()) const;

private:
    CSqliteStore& m_store;
    const std::size_t m_batchRows;
};

}  // namespace Host
}  // namespace Kol
