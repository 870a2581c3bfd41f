#include "host/report/CRunReport.h"

#include <algorithm>
#include <cstring>

#include "framework/module/LogLevel.h"
#include "host/cli/COperationCatalog.h"

namespace Kol {
namespace Host {

namespace {

const char* const kInitiating = "Initiating ";
const char* const kOperationFailed = "Failed to process cleanup operation ";
const char* const kWithError = " with error: ";
const char* const kRequestFailed = "Failed to process cleanup task request with: ";
const char* const kInterrupted = "The module is stopping. Cleanup process interrupted.";
const char* const kRescheduled = "Failed to re-schedule a cleanup: ";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The operation an Initiating line begins; 0 for the backup, which goes on
// with the storage operation before it; -1 for any other line.
std::int32_t InitiatedOperation(const std::string& job) {
    static const struct {
        const char* job;
        std::int32_t operation;
    } jobs[] = {
        {"replicated logs cleanup", 1}, {"obsolete delta logs cleanup", 2},
        {"event logs cleanup", 3},      {"abandoned logs cleanup", 4},
        {"ignored logs cleanup", 5},    {"storage cleanup", 6},
        {"database backup", 0},         {"old logs cleanup", 7},
        {"indexes cleanup", 12},        {"cleaning computer enrollement tombstone", 13},
        {"static objects cleanup", 14},
    };
    for (const auto& entry : jobs) {
        if (job == entry.job) {
            return entry.operation;
        }
    }
    return -1;
}

// The name the module prints for an operation: the library's, which is
// empty for a number outside 1 to 24.
std::string ModuleName(std::int32_t number) {
    const COperationCatalog::Operation* operation = COperationCatalog::Find(number);
    return operation != nullptr ? operation->enumeration : std::string();
}

}  // namespace

CRunReport::CRunReport(const std::vector<std::int32_t>& operations) {
    for (const std::int32_t number : operations) {
        Operation operation;
        operation.number = number;
        m_operations.push_back(operation);
    }
}

template <typename Match>
bool CRunReport::AdvanceTo(const Match& matches) {
    if (m_started) {
        Close(Status::kSucceeded);
    }
    for (std::size_t i = m_cursor; i < m_operations.size(); ++i) {
        if (matches(m_operations[i])) {
            for (; m_cursor < i; ++m_cursor) {
                m_operations[m_cursor].status = Status::kSucceeded;
            }
            m_started = true;
            m_operations[m_cursor].status = Status::kRunning;
            return true;
        }
    }
    return false;
}

void CRunReport::Close(Status status) {
    if (!m_started) {
        return;
    }
    Operation& operation = m_operations[m_cursor];
    if (status == Status::kSucceeded && operation.status == Status::kInterrupted) {
        status = Status::kInterrupted;
    }
    operation.status = status;
    m_started = false;
    ++m_cursor;
}

void CRunReport::BeginMapperCall(const std::string& label) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = RunningCall{label, std::chrono::steady_clock::now(), 0};
}

void CRunReport::UpdateMapperCall(std::uint64_t rowsSoFar) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_running) {
        m_running->rows = rowsSoFar;
    }
}

void CRunReport::AddMapperCall(const MapperCall& call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_running.reset();
    m_calls.push_back(call);
    if (!m_started && !AdvanceTo([&call](const Operation& operation) {
            return COperationCatalog::NameOf(operation.number) == call.label;
        })) {
        return;
    }
    Operation& operation = m_operations[m_cursor];
    operation.rows += call.rows;
    operation.bytesFreed += call.bytesFreed;
    operation.bytesReturned += call.bytesReturned;
    operation.seconds += call.seconds;
    operation.longestTransaction = std::max(operation.longestTransaction, call.longestTransaction);
    if (!call.detail.empty()) {
        operation.detail += (operation.detail.empty() ? "" : "; ") + call.detail;
    }
    if (call.interrupted) {
        operation.status = Status::kInterrupted;
    }
    operation.refused = operation.refused || call.refused;
}

void CRunReport::AddStatusEvent(std::int64_t progressCode, boost::optional<std::int32_t> level,
                                const std::string& notStored) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(StatusEvent{progressCode, level, notStored});
    if (!notStored.empty() && m_statusEventFailure.empty()) {
        m_statusEventFailure = notStored;
    }
    if (progressCode == kSucceededCode || progressCode == kFailedCode) {
        AdvanceTo([](const Operation&) { return false; });
        for (; m_cursor < m_operations.size(); ++m_cursor) {
            m_operations[m_cursor].status = Status::kSucceeded;
        }
    }
}

void CRunReport::AddStatusEventFailure(const std::string& message) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_statusEventFailure.empty()) {
        m_statusEventFailure = message;
    }
}

boost::optional<std::int32_t> CRunReport::AddModuleRecord(const std::string& text,
                                                          std::int32_t level) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (StartsWith(text, kInitiating)) {
        const std::int32_t number = InitiatedOperation(text.substr(std::strlen(kInitiating)));
        if (number > 0) {
            AdvanceTo([number](const Operation& operation) { return operation.number == number; });
        }
        return boost::none;
    }
    if (text == kInterrupted || StartsWith(text, kRescheduled)) {
        // After an interruption nothing more runs; after the re-scheduling
        // line the request is over and the rest ran without a word.
        const bool interrupted = text == kInterrupted;
        AdvanceTo([](const Operation&) { return false; });
        for (; m_cursor < m_operations.size(); ++m_cursor) {
            m_operations[m_cursor].status = interrupted ? Status::kNotRun : Status::kSucceeded;
        }
        return boost::none;
    }
    // A missing mapper is logged at level 4 too, but the module counts that
    // operation as succeeded; only these two lines mean a failure.
    if (level != Common::Module::Error) {
        return boost::none;
    }
    if (StartsWith(text, kRequestFailed)) {
        ++m_failureLines;
        return boost::none;
    }
    const std::string::size_type with = text.find(kWithError);
    if (!StartsWith(text, kOperationFailed) || with == std::string::npos) {
        return boost::none;
    }
    ++m_failureLines;
    const std::string name =
        text.substr(std::strlen(kOperationFailed), with - std::strlen(kOperationFailed));
    const bool current = m_started && ModuleName(m_operations[m_cursor].number) == name;
    if (!current && !AdvanceTo([&name](const Operation& operation) {
            return ModuleName(operation.number) == name;
        })) {
        return boost::none;
    }
    Operation& operation = m_operations[m_cursor];
    operation.error = text.substr(with + std::strlen(kWithError));
    if (operation.refused) {
        operation.reason = "the store is damaged";
    }
    const std::int32_t number = operation.number;
    Close(operation.refused ? Status::kNotRun : Status::kFailed);
    if (COperationCatalog::IsHandled(number)) {
        return boost::none;
    }
    return number;
}

void CRunReport::MarkNotRun(const std::string& reason) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_started) {
        Close(Status::kInterrupted);
    }
    for (Operation& operation : m_operations) {
        if (operation.status == Status::kRunning) {
            operation.status = Status::kInterrupted;
        }
        if (operation.status == Status::kNotRun && operation.reason.empty()) {
            operation.reason = reason;
        }
    }
}

std::vector<CRunReport::MapperCall> CRunReport::GetMapperCalls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::vector<CRunReport::Operation> CRunReport::GetOperations() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_operations;
}

std::vector<CRunReport::StatusEvent> CRunReport::GetStatusEvents() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

boost::optional<CRunReport::RunningCall> CRunReport::GetRunningCall() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running;
}

std::size_t CRunReport::GetFailureLines() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failureLines;
}

std::string CRunReport::GetStatusEventFailure() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_statusEventFailure;
}

bool CRunReport::HasFailed(bool statusEventsExpected) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failureLines > 0 || !m_statusEventFailure.empty()) {
        return true;
    }
    if (statusEventsExpected) {
        return m_events.size() < 2 || m_events.back().progress != kSucceededCode;
    }
    return false;
}

}  // namespace Host
}  // namespace Kol
