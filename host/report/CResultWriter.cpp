#include "host/report/CResultWriter.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "host/cli/COperationCatalog.h"
#include "host/store/CUnits.h"

namespace Kol {
namespace Host {

namespace {

std::string Join(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : ", ") + word;
    }
    return text;
}

nlohmann::ordered_json SizeLimitsJson(const SizeLimitOutcome& outcome) {
    using json = nlohmann::ordered_json;
    const SizeLimits& limits = outcome.limits;
    return {
        {"max_size", limits.maxSize ? json(*limits.maxSize) : json()},
        {"keep_free", limits.keepFree ? json(*limits.keepFree) : json()},
        {"min_age_days", limits.minAgeDays},
        {"logs_removed", outcome.logsRemoved},
        {"bytes_before", outcome.bytesBefore},
        {"bytes_after", outcome.bytesAfter},
        {"estimate", outcome.estimate},
        {"size_limits_met", outcome.met},
        {"reason", outcome.met ? json() : json(outcome.reason)},
    };
}

std::string OperationLine(const CRunReport::Operation& operation, bool dryRun) {
    const std::string figures =
        CUnits::Removal(operation.rows, operation.bytesFreed, operation.bytesReturned, dryRun) +
        " in " + CUnits::Seconds(operation.seconds) + " s" +
        (operation.detail.empty() ? std::string() : "; " + operation.detail);
    std::string line = "summary: " + COperationCatalog::NameOf(operation.number) + ": ";
    switch (operation.status) {
        case CRunReport::Status::kNotRun:
            return line + "not run (" + operation.reason + ")";
        case CRunReport::Status::kFailed:
            line += "failed: " + operation.error;
            return operation.seconds > 0 ? line + "; before that " + figures : line;
        case CRunReport::Status::kInterrupted:
            return line + figures + "; interrupted, the rest is left for a later run";
        default:
            break;
    }
    if (COperationCatalog::IsEmptyHook(operation.number)) {
        return line + "succeeded (" + COperationCatalog::Find(operation.number)->effect + ")";
    }
    return line + figures;
}

}  // namespace

const char* CResultWriter::StatusName(CRunReport::Status status) {
    switch (status) {
        case CRunReport::Status::kSucceeded:
            return "succeeded";
        case CRunReport::Status::kFailed:
            return "failed";
        case CRunReport::Status::kInterrupted:
            return "interrupted";
        case CRunReport::Status::kRunning:
            return "running";
        case CRunReport::Status::kNotRun:
            break;
    }
    return "not-run";
}

std::string CResultWriter::FinalStatus(const CRunReport& report, const Run& run) {
    std::vector<std::string> failed;
    bool allRan = true;
    for (const CRunReport::Operation& operation : report.GetOperations()) {
        if (operation.status == CRunReport::Status::kFailed) {
            failed.push_back(COperationCatalog::NameOf(operation.number));
        }
        allRan = allRan && (operation.status == CRunReport::Status::kSucceeded ||
                            operation.status == CRunReport::Status::kFailed);
    }
    const std::vector<CRunReport::StatusEvent> events = report.GetStatusEvents();
    const std::string eventFailure = report.GetStatusEventFailure();
    std::string status = "final status ";
    if (!run.statusEventsExpected) {
        status += report.HasFailed(false) ? "failed" : "succeeded";
        status += " (" + std::to_string(report.GetFailureLines()) +
                  " failure lines; this installation kind sends no status events)";
    } else if (events.empty()) {
        status += "unknown: no status event came" +
                  (!run.failure.empty() ? ", the run ended before the request: " + run.failure
                                        : std::string());
    } else if (events.back().progress == CRunReport::kSucceededCode) {
        status +=
            allRan ? "30 (every operation succeeded)" : "30 (every operation that ran succeeded)";
    } else if (events.back().progress == CRunReport::kFailedCode) {
        status += "40 (" +
                  (failed.empty() ? std::string("the request failed")
                                  : "at least one operation failed: " + Join(failed)) +
                  ")";
    } else {
        status +=
            std::to_string(events.back().progress) + ": the module did not finish the request";
    }
    if (!events.empty() && !events.back().notStored.empty()) {
        status += "; this status event was not stored: " + events.back().notStored;
    } else if (!eventFailure.empty()) {
        status += "; a status event was not stored: " + eventFailure;
    }
    if (!run.signal.empty()) {
        status += "; interrupted by " + run.signal;
    }
    return status;
}

std::vector<std::string> CResultWriter::Summary(const CRunReport& report, const Run& run) {
    std::vector<std::string> lines;
    std::uint64_t rows = 0;
    std::int64_t freed = 0;
    std::int64_t returned = 0;
    std::vector<std::string> notRun;
    for (const CRunReport::Operation& operation : report.GetOperations()) {
        lines.push_back(OperationLine(operation, run.dryRun));
        rows += operation.rows;
        freed += operation.bytesFreed;
        returned += operation.bytesReturned;
        if (operation.status == CRunReport::Status::kNotRun) {
            notRun.push_back(COperationCatalog::NameOf(operation.number) + " (" + operation.reason +
                             ")");
        }
    }
    double longest = 0;
    for (const CRunReport::MapperCall& call : report.GetMapperCalls()) {
        longest = std::max(longest, call.longestTransaction);
    }
    const std::string total =
        run.dryRun && run.forecast
            ? "would remove " + std::to_string(run.forecast->rows) +
                  " distinct rows (the operations' own figures may overlap), would return about " +
                  CUnits::Size(run.forecast->bytesReturned) +
                  " to the file system, leaving the store at about " +
                  CUnits::Size(run.forecast->storeBytesAfter)
            : CUnits::Removal(rows, freed, returned, run.dryRun);
    lines.push_back("summary: total: " + total + "; longest write transaction " +
                    CUnits::Seconds(longest) + " s; elapsed " +
                    CUnits::Seconds(CUnits::Elapsed(run.start, run.end)) + " s");
    if (!notRun.empty()) {
        lines.push_back("summary: not run: " + Join(notRun));
    }
    lines.push_back("summary: " + FinalStatus(report, run));
    return lines;
}

std::string CResultWriter::Json(const CRunReport& report, const Run& run) {
    using json = nlohmann::ordered_json;
    json operations = json::array();
    for (const CRunReport::Operation& operation : report.GetOperations()) {
        json entry = {
            {"number", operation.number},
            {"name", COperationCatalog::NameOf(operation.number)},
            {"status", StatusName(operation.status)},
            {"rows_removed", operation.rows},
            {"bytes_freed_inside_file", operation.bytesFreed},
            {"bytes_returned_to_file_system", operation.bytesReturned},
            {"seconds", operation.seconds},
            {"longest_write_transaction_seconds", operation.longestTransaction},
            {"error",
             operation.status == CRunReport::Status::kFailed ? json(operation.error) : json()},
            {"not_run_reason",
             operation.status == CRunReport::Status::kNotRun ? json(operation.reason) : json()},
            {"warnings", operation.warnings},
        };
        if (operation.sizeLimits) {
            entry["size_limits"] = SizeLimitsJson(*operation.sizeLimits);
        }
        operations.push_back(entry);
    }
    json events = json::array();
    for (const CRunReport::StatusEvent& event : report.GetStatusEvents()) {
        events.push_back(
            {{"progress", event.progress},
             {"level", event.level ? json(*event.level) : json()},
             {"stored", event.notStored.empty()},
             {"not_stored_reason", event.notStored.empty() ? json() : json(event.notStored)}});
    }
    const std::vector<CRunReport::StatusEvent> received = report.GetStatusEvents();
    const bool final =
        !received.empty() && (received.back().progress == CRunReport::kSucceededCode ||
                              received.back().progress == CRunReport::kFailedCode);
    std::uint64_t rows = 0;
    for (const CRunReport::Operation& operation : report.GetOperations()) {
        rows += operation.rows;
    }
    json total = {{"rows_removed", rows}};
    if (run.dryRun) {
        // A dry run's operations may count a row twice: only the forecast
        // knows the request's own figure.
        total = {
            {"rows_removed", run.forecast ? json(run.forecast->rows) : json()},
            {"bytes_returned_estimate", run.forecast ? json(run.forecast->bytesReturned) : json()},
            {"store_bytes_after_estimate",
             run.forecast ? json(run.forecast->storeBytesAfter) : json()}};
    }
    const json document = {
        {"format", 1},
        {"version", run.version},
        {"store", run.store},
        {"start", CUnits::Time(run.start)},
        {"end", CUnits::Time(run.end)},
        {"duration_seconds", CUnits::Elapsed(run.start, run.end)},
        {"dry_run", run.dryRun},
        {"request", run.requestUuids},
        {"operations", operations},
        {"total", total},
        {"status_events", events},
        {"final_status", final ? json(received.back().progress) : json()},
        {"final_status_text", FinalStatus(report, run)},
        {"exit_code", run.exitCode},
    };
    return document.dump(2) + "\n";
}

}  // namespace Host
}  // namespace Kol
