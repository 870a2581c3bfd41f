#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

// What a request would remove in all, without double counting: each
// operation's own dry-run figure counts the rows it finds, some of which an
// earlier operation of the same request would already have taken (an old
// replicated log is both). The plans the request deletes along are recorded
// in the order it runs them; Count then counts the union of the plans per
// table in one statement each, and CountEach what each plan adds.
//
// The orphan blobs plan is counted with the logs the plans recorded before
// it take: their blobs would be orphans by the time it runs.
//
// One thread at a time (the module's while it runs, the main thread after).
class CRemovalForecast {
public:
    struct Figures {
        std::uint64_t rows = 0;                         // distinct rows, every table
        std::map<std::string, std::uint64_t> perTable;  // table -> distinct rows
        // Estimates: each table's bytes per row times its rows going, as the
        // store would return them (IStoreMaintenance::EstimateReturnedBytes),
        // and the store's size less that.
        std::int64_t bytesReturned = 0;
        std::int64_t storeBytesAfter = 0;
    };

    // Records that the request's next deletes follow `plan`.
    void Add(const IStore::DeletePlan& plan);
    // For every recorded plan, in order, the rows of its table that it takes
    // and no plan before it does: what a real run's delete along it removes.
    // One statement per table, each reading the table once. Reads only;
    // throws std::runtime_error as the store does.
    std::vector<std::uint64_t> CountEach(IStore& store) const;
    // A condition on logs that is true for the rows no plan recorded so far
    // takes (NULL counting as not taken), or "" when none is recorded: the
    // logs an operation that looks at what is left would see.
    std::string LogsLeft() const;
    bool Empty() const { return m_plans.empty(); }

    // Counts the distinct rows of every recorded plan on `store` and
    // estimates the space they return. Reads only; throws
    // std::runtime_error as the store does.
    Figures Count(IStore& store) const;
    // Fills the estimates of `figures` from its rows per table. Reads only;
    // throws std::runtime_error as the store does.
    static void Estimate(IStore& store, Figures& figures);

private:
    // The logs plans before `before`, as one condition ("" for none).
    std::string LogsGoing(std::size_t before) const;
    // Plan `index`'s condition, inlined, as it stands in the request.
    std::string Condition(std::size_t index) const;

    std::vector<IStore::DeletePlan> m_plans;
};

}  // namespace Host
}  // namespace Kol
