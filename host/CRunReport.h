#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace Kol {
namespace Host {

// What one run of the host did, collected from the mappers, the bus and the
// module's log lines, and turned into the closing summary.
// Thread-safe: filled on the module's thread, read on the main thread.
class CRunReport {
public:
    // One call of a mapper operation.
    struct MapperCall {
        std::string label;            // e.g. "old logs"
        std::uint64_t rows = 0;       // rows removed
        std::int64_t bytesFreed = 0;  // decrease of the pages in use, in bytes
        double seconds = 0;
        double longestTransaction = 0;
        bool interrupted = false;  // stopped after a batch on a forced stop
        bool failed = false;
        std::string detail;  // extra facts for the summary, may be empty
    };

    void AddMapperCall(const MapperCall& call);
    void AddStatusEvent(std::int64_t progressCode);
    void AddStatusEventFailure();
    // Counts the module's lines that report a failed operation or request.
    void AddModuleRecord(const std::string& text, std::int32_t level);

    std::vector<MapperCall> GetMapperCalls() const;
    std::vector<std::int64_t> GetProgressCodes() const;
    std::size_t GetFailureLines() const;

    // True when the request ended in failure: a final status event with
    // progress code 40, no final status event although one was due, a status
    // event that could not be stored, or a failure line of the module.
    bool HasFailed(bool statusEventsExpected) const;

    // The summary: per operation (calls of the same operation added up, in
    // order of first call) its rows and bytes freed, then the totals with the
    // longest write transaction of the mapper calls, then the final status.
    std::vector<std::string> Summarize(bool statusEventsExpected,
                                       const std::string& interruption) const;

private:
    mutable std::mutex m_mutex;
    std::vector<MapperCall> m_calls;       // guarded by m_mutex
    std::vector<std::int64_t> m_progress;  // guarded by m_mutex
    std::size_t m_failureLines = 0;        // guarded by m_mutex
    bool m_statusEventFailed = false;      // guarded by m_mutex
};

}  // namespace Host
}  // namespace Kol
