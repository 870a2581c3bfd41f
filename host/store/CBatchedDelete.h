#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>

#include <boost/optional.hpp>
#include <boost/thread/thread.hpp>

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

// Deletes the rows of one table that match a condition in batches, each in
// its own short write transaction, so that another writer never waits long.
// The batches follow the table's ascending key: outside any transaction a
// search finds the key of the batchRows-th match from the next key on (or,
// where the store bounds a search, the end of the keys it may read), then the
// matches up to that key go in one transaction. Since rows are appended in
// key order, one batch touches a compact run of pages, which keeps the
// store's log small and the whole walk close to the cost of one big DELETE.
//
// Only the keys present when the walk starts are visited; rows added later
// are left to a later run. Should another writer add matches between the
// search and the delete, and the batch grow beyond batchRows rows, the batch
// is rolled back and searched again.
//
// Before each batch the calling thread's interruption flag is read
// (boost::this_thread::interruption_requested): when set, the walk stops there
// and reports itself interrupted; a later run removes the rest.
//
// The walk is the same on every store; each store gives the SQL of its steps
// as a Walk over its own key type. Runs on the calling thread, which must be a
// boost::thread for a forced stop to reach the walk (a std::thread has no
// interruption flag). What a step throws is passed on (the failing batch is
// rolled back, earlier ones stay and were passed to the observer), unless
// `cancelled` says the store's statements were cut short on purpose (a
// signal): then the walk ends interrupted, as after a batch.
template <typename Key>
class CBatchedDelete {
public:
    typedef IStore::DeleteResult Result;
    typedef IStore::BatchObserver BatchObserver;

    // The keys from `first` to `upto` hold `found` matches.
    struct Window {
        Key first{};
        Key upto{};
        std::uint64_t found = 0;
    };

    // One store's statements for one plan, in the walk's order. Throws
    // std::runtime_error with the database's message.
    class Walk {
    public:
        virtual ~Walk() = default;
        // The highest key present now; none for an empty table.
        virtual boost::optional<Key> Last() = 0;
        // Outside any write transaction: the window from the lowest key
        // after `after` (after none: the lowest of all) to the key of the
        // batchRows-th match in it, or to the window's own end when it holds
        // fewer. None when no key up to `last` is left.
        virtual boost::optional<Window> Search(const boost::optional<Key>& after, const Key& last,
                                               std::size_t batchRows) = 0;
        // Deletes the matches of `window` in one transaction of its own,
        // committed when `keep` accepts the number removed and rolled back
        // otherwise; returns that number.
        virtual std::uint64_t Delete(const Window& window,
                                     const std::function<bool(std::uint64_t removed)>& keep) = 0;
    };

    // Throws std::invalid_argument when `batchRows` is 0.
    explicit CBatchedDelete(std::size_t batchRows) : m_batchRows(batchRows) {
        if (batchRows == 0) {
            throw std::invalid_argument("a batch needs at least one row and one key");
        }
    }

    Result Run(Walk& walk, const BatchObserver& afterBatch = BatchObserver(),
               const std::function<bool()>& cancelled = nullptr) const {
        Result result;
        try {
            Visit(walk, afterBatch, result);
        } catch (const std::runtime_error&) {
            if (!cancelled || !cancelled()) {
                throw;
            }
            result.interrupted = true;
        }
        return result;
    }

private:
    void Visit(Walk& walk, const BatchObserver& afterBatch, Result& result) const {
        const boost::optional<Key> last = walk.Last();
        if (!last) {
            return;  // an empty table
        }
        boost::optional<Key> after;  // every key after it is still to be visited
        const std::function<bool(std::uint64_t)> fits = [this](std::uint64_t removed) {
            return removed <= m_batchRows;
        };
        for (;;) {
            if (boost::this_thread::interruption_requested()) {
                result.interrupted = true;
                return;
            }
            const boost::optional<Window> window = walk.Search(after, *last, m_batchRows);
            if (!window) {
                return;
            }
            if (window->found > 0) {
                const std::uint64_t removed = walk.Delete(*window, fits);
                if (!fits(removed)) {
                    continue;  // grown meanwhile: rolled back, searched again
                }
                result.rows += removed;
                ++result.batches;
                if (afterBatch) {
                    afterBatch(result);
                }
            }
            if (window->upto == *last) {
                return;
            }
            after = window->upto;
        }
    }

    const std::size_t m_batchRows;
};

}  // namespace Host
}  // namespace Kol
