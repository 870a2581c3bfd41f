#include "host/CRunReport.h"

#include <algorithm>
#include <cstdio>

namespace Kol {
namespace Host {

namespace {

const std::int32_t kErrorLevel = 4;

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

}  // namespace

void CRunReport::AddMapperCall(const MapperCall& call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back(call);
}

void CRunReport::AddStatusEvent(std::int64_t progressCode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_progress.push_back(progressCode);
}

void CRunReport::AddStatusEventFailure() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_statusEventFailed = true;
}

void CRunReport::AddModuleRecord(const std::string& text, std::int32_t level) {
    // A missing mapper is logged at level 4 too, but the module counts that
    // operation as succeeded; only these two lines mean a failure.
    if (level == kErrorLevel && (StartsWith(text, "Failed to process cleanup operation ") ||
                                 StartsWith(text, "Failed to process cleanup task request"))) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_failureLines;
    }
}

std::vector<CRunReport::MapperCall> CRunReport::GetMapperCalls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::vector<std::int64_t> CRunReport::GetProgressCodes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_progress;
}

std::size_t CRunReport::GetFailureLines() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failureLines;
}

bool CRunReport::HasFailed(bool statusEventsExpected) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failureLines > 0 || m_statusEventFailed) {
        return true;
    }
    if (statusEventsExpected) {
        return m_progress.size() < 2 || m_progress.back() != 30;
    }
    return false;
}

std::vector<std::string> CRunReport::Summarize(bool statusEventsExpected,
                                               const std::string& interruption) const {
    std::vector<MapperCall> totals;
    double longestTransaction = 0;
    for (const MapperCall& call : GetMapperCalls()) {
        longestTransaction = std::max(longestTransaction, call.longestTransaction);
        MapperCall* total = nullptr;
        for (MapperCall& candidate : totals) {
            if (candidate.label == call.label) {
                total = &candidate;
            }
        }
        if (total == nullptr) {
            totals.push_back(call);
            continue;
        }
        total->rows += call.rows;
        total->bytesFreed += call.bytesFreed;
        total->failed = total->failed || call.failed;
        total->interrupted = total->interrupted || call.interrupted;
        if (!call.detail.empty()) {
            total->detail = call.detail;
        }
    }

    std::vector<std::string> lines;
    std::uint64_t rows = 0;
    std::int64_t bytes = 0;
    for (const MapperCall& total : totals) {
        rows += total.rows;
        bytes += total.bytesFreed;
        std::string line = "summary: " + total.label + ": " + std::to_string(total.rows) +
                           " rows, " + std::to_string(total.bytesFreed) + " bytes freed";
        if (!total.detail.empty()) {
            line += ", " + total.detail;
        }
        if (total.failed) {
            line += " (failed)";
        } else if (total.interrupted) {
            line += " (interrupted)";
        }
        lines.push_back(line);
    }
    lines.push_back("summary: total " + std::to_string(rows) + " rows, " + std::to_string(bytes) +
                    " bytes freed; longest write transaction " + Seconds(longestTransaction) +
                    " s");

    const std::vector<std::int64_t> progress = GetProgressCodes();
    std::string status = "summary: final status ";
    if (statusEventsExpected && !progress.empty()) {
        const std::int64_t last = progress.back();
        status += std::to_string(last);
        status += last == 30   ? " (every operation succeeded)"
                  : last == 40 ? " (at least one operation failed)"
                               : "";
    } else if (statusEventsExpected) {
        status += "unknown (no status event received)";
    } else {
        status += HasFailed(false) ? "failed" : "succeeded";
        status += " (" + std::to_string(GetFailureLines()) +
                  " failure lines; this installation kind sends no status events)";
    }
    if (!interruption.empty()) {
        status += "; interrupted by " + interruption;
    }
    lines.push_back(status);
    return lines;
}

}  // namespace Host
}  // namespace Kol
