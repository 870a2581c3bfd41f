#include "host/report/CRunReport.h"

#include <algorithm>

#include "host/cli/COperationCatalog.h"

namespace Kol {
namespace Host {

namespace {

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
    operation.warnings.insert(operation.warnings.end(), call.warnings.begin(), call.warnings.end());
    if (call.interrupted) {
        operation.status = Status::kInterrupted;
    }
    operation.refused = operation.refused || call.refused;
    if (call.sizeLimits) {
        operation.sizeLimits = call.sizeLimits;
    }
}

void CRunReport::AddStatusEvent(std::int64_t progressCode, boost::optional<std::int32_t> level,
                                const std::string& notStored) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(StatusEvent{progressCode, level, notStored});
    if (!notStored.empty() && m_statusEventFailure.empty()) {
        m_statusEventFailure = notStored;
    }
    if (progressCode == kSucceededCode || progressCode == kFailedCode) {
        CloseTheRest(Status::kSucceeded);
    }
}

void CRunReport::AddStatusEventFailure(const std::string& message) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_statusEventFailure.empty()) {
        m_statusEventFailure = message;
    }
}

void CRunReport::CloseTheRest(Status status) {
    AdvanceTo([](const Operation&) { return false; });
    for (; m_cursor < m_operations.size(); ++m_cursor) {
        m_operations[m_cursor].status = status;
    }
}

void CRunReport::BeginOperation(std::int32_t number) {
    std::lock_guard<std::mutex> lock(m_mutex);
    AdvanceTo([number](const Operation& operation) { return operation.number == number; });
}

void CRunReport::StopRequest() {
    std::lock_guard<std::mutex> lock(m_mutex);
    CloseTheRest(Status::kNotRun);
}

void CRunReport::EndRequest() {
    std::lock_guard<std::mutex> lock(m_mutex);
    CloseTheRest(Status::kSucceeded);
}

void CRunReport::AddRequestFailure() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_failureLines;
}

boost::optional<std::int32_t> CRunReport::FailOperation(const std::string& moduleName,
                                                        const std::string& error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_failureLines;
    const bool current = m_started && ModuleName(m_operations[m_cursor].number) == moduleName;
    if (!current && !AdvanceTo([&moduleName](const Operation& operation) {
            return ModuleName(operation.number) == moduleName;
        })) {
        return boost::none;
    }
    Operation& operation = m_operations[m_cursor];
    operation.error = error;
    if (operation.refused) {
        operation.reason = "the store is damaged";
    }
    const std::int32_t number = operation.number;
    Close(operation.refused ? Status::kNotRun : Status::kFailed);
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
