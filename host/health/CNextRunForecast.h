#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "host/store/CRemovalForecast.h"

namespace Kol {
namespace Host {

class IStore;

// What the next `all` would remove, counted rather than rehearsed: each
// operation that removes rows, in the order `all` runs them, counts the rows
// of its condition (CCleanupConditions, the mappers' own) that the earlier
// ones leave, which is what its real run removes; the storage operation
// counts the orphan blobs, those of the logs removed before it included.
class CNextRunForecast {
public:
    // The module keeps enrolment tombstones for five days.
    static constexpr std::int64_t kTombstoneSeconds = 120 * 3600;
    static constexpr std::int64_t kDaySeconds = 86400;

    struct Operation {
        std::int32_t number = 0;
        std::uint64_t rows = 0;
    };
    struct Figures {
        std::vector<Operation> operations;  // in run order
        CRemovalForecast::Figures total;    // their sum, with the estimates
    };

    // For a run starting at `now` (Unix seconds) with `retention` (days of
    // classes 1 to 5). Reads only, on the store's thread. Throws
    // std::runtime_error as the store does, or for a bad
    // max_event_logs_per_type setting.
    static Figures Take(IStore& store, const std::array<std::uint16_t, 5>& retention,
                        std::int64_t now);

    CNextRunForecast() = delete;
};

}  // namespace Host
}  // namespace Kol
