#pragma once

#include <cstdint>
#include <string>

#include <boost/optional.hpp>

namespace Kol {
namespace Host {

// The size limits of the storage operation (--max-size, --keep-free,
// --min-age): after the retention work, the oldest logs of every class go
// until the store fits, never one younger than the floor.
struct SizeLimits {
    static constexpr std::uint16_t kDefaultMinAgeDays = 1;

    // The store's bytes at most (SQLite: the file and its write-ahead log
    // once the free pages went back; PostgreSQL: logs and log_blobs).
    boost::optional<std::int64_t> maxSize;
    // The bytes left available to unprivileged users on the store's file
    // system at least (SQLite only).
    boost::optional<std::int64_t> keepFree;
    // No log younger than this many days is removed for a limit.
    std::uint16_t minAgeDays = kDefaultMinAgeDays;

    bool Any() const { return maxSize || keepFree; }
};

// What the size limits did in one storage operation.
struct SizeLimitOutcome {
    SizeLimits limits;
    std::uint64_t logsRemoved = 0;  // a dry run's: an estimate of what would go
    std::int64_t bytesBefore = 0;
    std::int64_t bytesAfter = 0;  // a dry run's: an estimate
    bool met = true;
    std::string reason;     // why a limit does not hold; empty when met
    bool estimate = false;  // a dry run: nothing removed, figures estimated
    // Planned by whole parts (PostgreSQL partitions): a dry run's logs are
    // then exact, its bytes after from those parts' own sizes.
    bool wholeParts = false;
};

}  // namespace Host
}  // namespace Kol
