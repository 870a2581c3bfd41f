#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/function.hpp>

#include "host/store/IStore.h"
#include "host/store/IStoreMaintenance.h"
#include "host/store/SizeLimits.h"

namespace Kol {
namespace Host {

// The storage operation's size limits (--max-size, --keep-free): removes the
// oldest logs of every class (by created_at, then id), never one younger than
// --min-age, until the store fits. How many go is computed from the store's
// own bytes per log (logs and log_blobs with their indexes over the logs'
// count), then the store returns its free pages and is measured again, at
// most kRounds times, so that a round removes about what is still over and
// never much more.
//
// Where deleted logs keep their space inside the store's tables (PostgreSQL,
// IStoreMaintenance::KeepsDeletedSpace), only parts dropped whole make it
// smaller, and each has its own fixed overhead (an empty table and its
// indexes): the cut is the end of the fewest oldest parts whose own bytes
// cover the excess, every part ending by then goes whole (DropWholeParts),
// and the logs older than the cut that sit elsewhere (a default partition, a
// wider one) go in batches, so that every log removed is older than every log
// kept; then the store is vacuumed (ReleaseSpace: a partition's first vacuum
// adds its free space and visibility maps to its size) and measured again, at
// most kRounds times. No row of a part kept goes for the limit: deleting it
// would free nothing, so a second run with the same limit removes none. What
// no part holds (log_blobs, whose free space is reused, and the default
// partitions) and the parts that end after the --min-age floor (those of the
// days to come too) are the floor under which the limit cannot go. A part
// that cannot be locked is left (a warning names it) and ends the removals.
//
// Works through the store's interfaces on the store's thread (the module's
// processing thread); the deletes themselves go through `Remove`, in the
// mapper's short batched transactions. Throws std::runtime_error as the store
// does.
class CSizeLimiter {
public:
    static const int kRounds = 4;
    static const std::int64_t kSecondsPerDay = 86400;
    // What a round after the first asks for beyond the excess: what is still
    // over after a round is often less than a page, and removing a few logs
    // frees no page; 64 KiB is far below one batch's worth of logs.
    static const std::int64_t kSlackBytes = 64 * 1024;

    // Removes the logs of `plan` (and then their blobs), or in a dry run
    // counts them; returns the logs and whether the thread was asked to stop.
    typedef boost::function<IStore::DeleteResult(const IStore::DeletePlan& plan)> Remove;

    // `now` in Unix seconds: the floor is `now` less --min-age.
    CSizeLimiter(IStore& store, const SizeLimits& limits, std::int64_t now);

    // A real run: removes and measures, round by round. Sets `interrupted`
    // when a removal or the release of space stopped early.
    SizeLimitOutcome Enforce(const Remove& remove, bool& interrupted);
    // A dry run: one estimate from the bytes per log, the rows that would go
    // counted by `count`; nothing changes.
    SizeLimitOutcome Estimate(const Remove& count);

    // How far the store is from both limits, in bytes to give up (0 or less
    // when both hold). `available` -1 means unknown (keep-free not checked).
    static std::int64_t Excess(const SizeLimits& limits, std::int64_t bytes,
                               std::int64_t available);
    // The logs to remove for `excess` bytes when `logs` logs take
    // `logBytes`: ceil(excess / (logBytes / logs)), at least 1.
    static std::uint64_t LogsFor(std::int64_t excess, std::int64_t logBytes, std::int64_t logs);
    // The text of the operation's line: the limits and what they did.
    static std::string Describe(const SizeLimitOutcome& outcome);
    // The cut for `excess` bytes over `parts` (in the order of their ends):
    // the least end, at or before `floor`, such that the parts ending by then
    // take at least `excess`, else the greatest such end; their bytes in
    // `freed`. False when no part ends by `floor`.
    static bool CutFor(const std::vector<IStoreMaintenance::WholePart>& parts, std::int64_t floor,
                       std::int64_t excess, std::int64_t& cut, std::int64_t& freed);

    // After Enforce: the logs the whole drops removed (in the outcome's
    // logs, not in what `Remove` returned) and the parts they left, one line
    // each.
    std::uint64_t DroppedLogs() const { return m_droppedLogs; }
    const std::vector<std::string>& Warnings() const { return m_warnings; }

private:
    // Enforce and Estimate where only whole parts free space.
    SizeLimitOutcome EnforceWhole(const Remove& remove, bool& interrupted);
    SizeLimitOutcome EstimateWhole(const Remove& count);
    // Why none of `parts` (those left) may go and what stays, the store at
    // `bytes` after `removed` logs, `olderLeft` logs older than the floor.
    std::string WholeFloorCause(const std::vector<IStoreMaintenance::WholePart>& parts,
                                std::uint64_t removed, std::int64_t bytes,
                                std::int64_t olderLeft) const;
    // The plan of the `logs` oldest logs created before the floor, or of
    // all of them (`floorReached`) when there are not that many; an empty
    // condition when there is none.
    IStore::DeletePlan Oldest(std::uint64_t logs, bool& floorReached);
    // The bytes of logs and log_blobs; the logs' count in `logs`.
    std::int64_t LogBytes(std::int64_t& logs);
    // Releases the free space; false when interrupted.
    bool Release();
    // `outcome` marked as not met, for `cause`, with the state of the limits.
    SizeLimitOutcome Unmet(SizeLimitOutcome outcome, std::int64_t available,
                           const std::string& cause) const;
    // Why the floor stops the removals.
    std::string FloorCause(std::uint64_t removed) const;

    IStore& m_store;
    const SizeLimits m_limits;
    const std::int64_t m_floor;  // created_at of the logs the limits may remove: below it
    std::uint64_t m_droppedLogs = 0;
    std::vector<std::string> m_warnings;
};

}  // namespace Host
}  // namespace Kol
