#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/store/CBatchedDelete.h"
#include "host/store/IStore.h"
#include "host/store/sqlite/CSqliteStatement.h"

namespace Kol {
namespace Host {

class CSqliteStore;

// The SQLite statements of a batched delete (CBatchedDelete) over the integer
// key of one table (any value from INT64_MIN to INT64_MAX; CSqliteSchema
// names it). A search reads at most `windowKeys` keys, each window starting
// at the next key present: a batch therefore reads at most that many rows
// however sparse the matches are, and the whole walk costs what the rows it
// visits cost, however far apart their keys are. Where CSqliteSchema says so,
// the statements read the table itself rather than an index.
//
// Belongs to the thread that runs the walk; the store must outlive it.
class CSqliteDeleteWalk : public CBatchedDelete<std::int64_t>::Walk {
public:
    typedef CBatchedDelete<std::int64_t>::Window Window;

    static const std::int64_t kDefaultWindowKeys = 50000;

    // Prepares the statements. Throws std::invalid_argument when `windowKeys`
    // is below 1 or the table is not ours, std::runtime_error "<message> in:
    // <sql>" when a statement does not compile.
    CSqliteDeleteWalk(CSqliteStore& store, const IStore::DeletePlan& plan,
                      std::int64_t windowKeys = kDefaultWindowKeys);

    boost::optional<std::int64_t> Last() override;
    boost::optional<Window> Search(const boost::optional<std::int64_t>& after,
                                   const std::int64_t& last, std::size_t batchRows) override;
    std::uint64_t Delete(const Window& window,
                         const std::function<bool(std::uint64_t removed)>& keep) override;

private:
    CSqliteDeleteWalk(CSqliteStore& store, const IStore::DeletePlan& plan, const std::string& key,
                      std::int64_t windowKeys);

    CSqliteStore& m_store;
    const std::int64_t m_windowKeys;
    CSqliteStatement m_bounds;
    CSqliteStatement m_nextKey;
    CSqliteStatement m_findLast;
    CSqliteStatement m_deleteUpTo;
};

}  // namespace Host
}  // namespace Kol
