#pragma once

#include <cstdint>
#include <string>

#include <boost/optional.hpp>

#include "host/cli/CHostOptions.h"
#include "host/store/RunRecord.h"

namespace Kol {
namespace Host {

class CHostLogger;
class CRunReport;
class IStore;

// The run's row in the store's run history (IStore::AddRun), written once at
// the end of every run that opened the store, dry runs and interrupted runs
// included; and the last successful run the history knows, for the metrics
// file.
//
// Stateless; called on the main thread once the module is gone, so that the
// store is the calling thread's.
class CRunHistory {
public:
    // The record of a run that asked for `options` and ended with exit
    // `status` (0 succeeded, 128 + N interrupted by signal N, any other
    // failed) between `start` and `end`, Unix seconds. Its error is the first
    // the run met: why it ended early (`failure`, "" when it did not), else
    // the first failed operation's, else why a status event was not stored.
    static RunRecord Record(const CHostOptions& options, const CRunReport& report,
                            const std::string& failure, std::int64_t start, std::int64_t end,
                            int status);

    // Adds `record` to `store`'s history. A store without a history yet (a
    // dry run on an older schema) or a failed write is one warning line on
    // `logger`; the run's outcome stays as it is. Never throws.
    static void Write(IStore& store, const RunRecord& record, CHostLogger& logger) noexcept;

    // The end of the newest successful real (not dry) run in `store`'s
    // history; none when it has none or cannot be read. Never throws.
    static boost::optional<std::int64_t> LastSuccess(IStore& store) noexcept;

    CRunHistory() = delete;
};

}  // namespace Host
}  // namespace Kol
