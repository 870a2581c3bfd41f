#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <boost/optional.hpp>

namespace Kol {
namespace Host {

// One run of the program as the store's run history keeps it (the table
// run_history, the same columns on both stores): what an operator or a
// monitoring script needs to tell how the cleanups went without the log.
// Plain data; any thread.
struct RunRecord {
    // The values of `status`.
    static constexpr const char* kSucceeded = "succeeded";
    static constexpr const char* kFailed = "failed";
    static constexpr const char* kInterrupted = "interrupted";
    // The rows the history keeps: each insert drops the older ones.
    static constexpr std::size_t kKeptRows = 1000;

    std::int64_t id = 0;     // the store's, ascending; ignored by AddRun
    std::int64_t start = 0;  // Unix seconds
    std::int64_t end = 0;    // Unix seconds
    std::string status;      // kSucceeded, kFailed or kInterrupted
    std::int64_t exitCode = 0;
    bool dryRun = false;
    std::string operations;  // as asked for, dashed names, space-separated
    std::int64_t rowsRemoved = 0;
    std::int64_t bytesFreed = 0;
    std::int64_t bytesReturned = 0;
    boost::optional<std::string> error;  // the run's first error; none when there was none
};

}  // namespace Host
}  // namespace Kol
