#pragma once

#include <cstdint>
#include <string>

#include <boost/function.hpp>

#include "host/store/IStore.h"
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

private:
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
};

}  // namespace Host
}  // namespace Kol
