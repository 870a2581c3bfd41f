#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <boost/optional.hpp>

#include "host/store/SizeLimits.h"

namespace Kol {
namespace Host {

// What one run of the host did, per requested operation, collected from the
// mappers, the module's log lines (as CModuleLineReader reads them) and the
// status events on the bus.
//
// The module says little about which operation it is at: an operation with a
// mapper writes an Initiating line, the mapper calls follow, then a Finished
// line or the module's failure line; an operation the module does not handle
// writes only its failure line; the empty hooks write nothing. The report
// walks the requested operations along these facts: whatever the module
// passed over without a word ran and did nothing.
//
// Thread-safe: filled on the module's thread, read on the main thread.
class CRunReport {
public:
    // The progress codes of the module's final status event.
    static constexpr std::int64_t kSucceededCode = 30;  // every operation that ran succeeded
    static constexpr std::int64_t kFailedCode = 40;     // an operation or the request failed

    // One call of a mapper operation.
    struct MapperCall {
        std::string label;               // the operation's dashed name, or "backup"
        std::uint64_t rows = 0;          // rows removed
        std::int64_t bytesFreed = 0;     // decrease of the pages in use inside the file
        std::int64_t bytesReturned = 0;  // decrease of the file's size
        double seconds = 0;
        double longestTransaction = 0;
        bool interrupted = false;  // stopped after a batch on a forced stop
        bool failed = false;
        bool refused = false;               // failed at once: the store was found damaged before
        std::string detail;                 // extra facts for the summary, may be empty
        std::vector<std::string> warnings;  // what was skipped and why, one line each
        boost::optional<SizeLimitOutcome> sizeLimits;  // the storage operation's, when given
    };

    enum class Status { kNotRun, kRunning, kSucceeded, kFailed, kInterrupted };

    // One requested operation, in request order.
    struct Operation {
        std::int32_t number = 0;
        Status status = Status::kNotRun;
        std::uint64_t rows = 0;
        std::int64_t bytesFreed = 0;
        std::int64_t bytesReturned = 0;
        double seconds = 0;
        double longestTransaction = 0;
        std::string error;                  // the module's error text of a failed operation
        std::string detail;                 // the mappers' extra facts
        std::vector<std::string> warnings;  // the mappers' calls', in order
        std::string reason;                 // why a not-run operation did not run
        bool refused = false;               // its mapper refused to start on a damaged store
        boost::optional<SizeLimitOutcome> sizeLimits;  // the last call's that had them
    };

    struct StatusEvent {
        std::int64_t progress = 0;
        boost::optional<std::int32_t> level;
        std::string notStored;  // why the store refused it; empty when it was stored
    };

    // The mapper call at work, for the progress lines.
    struct RunningCall {
        std::string label;
        std::chrono::steady_clock::time_point start;
        std::uint64_t rows = 0;
    };

    explicit CRunReport(const std::vector<std::int32_t>& operations = {});

    void BeginMapperCall(const std::string& label);
    void UpdateMapperCall(std::uint64_t rowsSoFar);
    void AddMapperCall(const MapperCall& call);
    // A status event the module sent; `notStored` says why the store refused
    // it (empty when it was stored), which also counts as a status event
    // failure.
    void AddStatusEvent(std::int64_t progressCode, boost::optional<std::int32_t> level,
                        const std::string& notStored = std::string());
    void AddStatusEventFailure(const std::string& message);
    // What the module's lines tell (CModuleLineReader reads them).
    // Operation `number` begins: the one at work ends, and the requested ones
    // the module passed over before `number` ran silently. When no operation
    // still to come has that number, only the one at work ends.
    void BeginOperation(std::int32_t number);
    // The module stopped: no operation not reached by now runs.
    void StopRequest();
    // The request is over: the operations not reached by now ran silently.
    void EndRequest();
    // One failure line about the whole request.
    void AddRequestFailure();
    // A failure line about the operation that the module calls `moduleName`
    // (the catalog's enumeration name, empty outside 1 to 24): the one at
    // work when it has that name, else the next requested one that has it,
    // failed with `error` (or did not run, when its mapper refused it on a
    // damaged store). Returns its number; none when no operation is found,
    // which still counts as a failure line.
    boost::optional<std::int32_t> FailOperation(const std::string& moduleName,
                                                const std::string& error);
    // Every operation not reached by now did not run, for `reason`.
    void MarkNotRun(const std::string& reason);

    std::vector<MapperCall> GetMapperCalls() const;
    std::vector<Operation> GetOperations() const;
    std::vector<StatusEvent> GetStatusEvents() const;
    boost::optional<RunningCall> GetRunningCall() const;
    std::size_t GetFailureLines() const;
    // Why a status event could not be stored, empty when all were.
    std::string GetStatusEventFailure() const;

    // True when the request ended in failure: a final status event with
    // progress code 40, no final status event although one was due, a status
    // event that could not be stored, or a failure line of the module.
    bool HasFailed(bool statusEventsExpected) const;

private:
    // Moves to the first operation from the cursor on that `matches`, the
    // ones passed over having run silently; returns false when none does.
    template <typename Match>
    bool AdvanceTo(const Match& matches);
    void Close(Status status);
    // Closes the operation at work and gives every one not reached `status`.
    void CloseTheRest(Status status);

    mutable std::mutex m_mutex;
    std::vector<Operation> m_operations;     // guarded by m_mutex
    std::size_t m_cursor = 0;                // guarded by m_mutex; the operation at work or next
    bool m_started = false;                  // guarded by m_mutex; the cursor's operation began
    std::vector<MapperCall> m_calls;         // guarded by m_mutex
    boost::optional<RunningCall> m_running;  // guarded by m_mutex
    std::vector<StatusEvent> m_events;       // guarded by m_mutex
    std::size_t m_failureLines = 0;          // guarded by m_mutex
    std::string m_statusEventFailure;        // guarded by m_mutex
};

}  // namespace Host
}  // namespace Kol
