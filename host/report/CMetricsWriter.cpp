#include "host/report/CMetricsWriter.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <utility>
#include <vector>

#include "host/cli/COperationCatalog.h"
#include "host/store/CUnits.h"

namespace Kol {
namespace Host {

namespace {

const char* const kPrefix = "cleanup_agent_";
const char* const kLastSuccess = "last_success_timestamp_seconds";

// One sample: its labels ("" or `{name="value"}`) and its value's text.
typedef std::vector<std::pair<std::string, std::string>> Samples;

void Family(std::string& out, const std::string& name, const char* help, const Samples& samples) {
    if (samples.empty()) {
        return;
    }
    const std::string metric = kPrefix + name;
    out += "# HELP " + metric + " " + help + "\n# TYPE " + metric + " gauge\n";
    for (const auto& sample : samples) {
        out += metric + sample.first + " " + sample.second + "\n";
    }
}

// Label values here are operation names and numbers: nothing to escape.
std::string Label(const char* name, const std::string& value) {
    return std::string("{") + name + "=\"" + value + "\"}";
}

double Seconds(const std::timespec& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

// The requested operations by name, in request order, a repeated one summed.
std::vector<CRunReport::Operation> ByName(const CRunReport& report) {
    std::vector<std::pair<std::string, CRunReport::Operation>> named;
    for (const CRunReport::Operation& operation : report.GetOperations()) {
        const std::string name = COperationCatalog::NameOf(operation.number);
        auto found = named.begin();
        while (found != named.end() && found->first != name) {
            ++found;
        }
        if (found == named.end()) {
            named.emplace_back(name, operation);
            continue;
        }
        CRunReport::Operation& sum = found->second;
        sum.rows += operation.rows;
        sum.bytesFreed += operation.bytesFreed;
        sum.bytesReturned += operation.bytesReturned;
        sum.seconds += operation.seconds;
        if (operation.status != CRunReport::Status::kSucceeded) {
            sum.status = operation.status;
        }
    }
    std::vector<CRunReport::Operation> operations;
    for (const auto& entry : named) {
        operations.push_back(entry.second);
    }
    return operations;
}

void Operations(std::string& out, const CRunReport& report) {
    Samples rows, freed, returned, seconds, success;
    for (const CRunReport::Operation& operation : ByName(report)) {
        const std::string label = Label("operation", COperationCatalog::NameOf(operation.number));
        rows.emplace_back(label, std::to_string(operation.rows));
        freed.emplace_back(label, std::to_string(operation.bytesFreed));
        returned.emplace_back(label, std::to_string(operation.bytesReturned));
        seconds.emplace_back(label, CUnits::Seconds(operation.seconds));
        success.emplace_back(label, operation.status == CRunReport::Status::kSucceeded ? "1" : "0");
    }
    Family(out, "rows_removed", "Rows the operation removed in the last run.", rows);
    Family(out, "bytes_freed",
           "Bytes the operation freed inside the store in the last run (pages in use).", freed);
    Family(out, "bytes_returned",
           "Bytes the operation returned to the file system in the last run.", returned);
    Family(out, "operation_duration_seconds", "Seconds the operation took in the last run.",
           seconds);
    Family(out, "operation_success",
           "1 when the operation succeeded in the last run, 0 when it failed, was interrupted or "
           "did not run.",
           success);
    // Only where a size limit was given and the storage operation checked it.
    Samples met;
    for (const CRunReport::Operation& operation : report.GetOperations()) {
        if (operation.sizeLimits) {
            const bool held = operation.sizeLimits->met && (met.empty() || met[0].second == "1");
            met.assign(1, {"", held ? "1" : "0"});
        }
    }
    Family(out, "size_limit_met",
           "1 when the store met its size limits (--max-size, --keep-free) after the last run, "
           "else 0.",
           met);
}

void Store(std::string& out, const CStoreCensus::Figures& store) {
    Family(out, "store_bytes", "Bytes the store takes on disk after the last run.",
           {{"", std::to_string(store.bytes)}});
    Samples logs, ages;
    for (int k = 1; k <= CStoreCensus::kClasses; ++k) {
        const std::string label = Label("class", std::to_string(k));
        logs.emplace_back(label, std::to_string(store.logs[k - 1]));
        if (store.oldestAge[k - 1]) {
            ages.emplace_back(label, std::to_string(*store.oldestAge[k - 1]));
        }
    }
    Family(out, "store_logs", "Logs of the retention class in the store after the last run.", logs);
    Family(out, "oldest_log_age_seconds",
           "Age of the oldest log of the retention class at the end of the last run.", ages);
}

}  // namespace

std::string CMetricsWriter::Text(const CRunReport& report, const Run& run) {
    const bool succeeded = run.exitCode == 0;
    std::string out;
    Family(out, "last_run_timestamp_seconds", "When the last run ended, in Unix seconds.",
           {{"", CUnits::Seconds(Seconds(run.end))}});
    Family(out, "last_run_success", "1 when the last run succeeded (exit status 0), else 0.",
           {{"", succeeded ? "1" : "0"}});
    Family(out, "last_run_exit_code", "The exit status of the last run.",
           {{"", std::to_string(run.exitCode)}});
    Family(out, "last_run_duration_seconds", "Seconds the last run took.",
           {{"", CUnits::Seconds(CUnits::Elapsed(run.start, run.end))}});
    const boost::optional<double> lastSuccess = run.historySuccess ? run.historySuccess
                                                : succeeded
                                                    ? boost::optional<double>(Seconds(run.end))
                                                    : run.previousSuccess;
    if (lastSuccess) {
        Family(out, kLastSuccess, "When the last successful run ended, in Unix seconds.",
               {{"", CUnits::Seconds(*lastSuccess)}});
    }
    Operations(out, report);
    if (run.store) {
        Store(out, *run.store);
    }
    return out;
}

boost::optional<double> CMetricsWriter::LastSuccess(const std::string& text) {
    const std::string prefix = std::string(kPrefix) + kLastSuccess + " ";
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const char* begin = line.c_str() + prefix.size();
        char* end = nullptr;
        const double value = std::strtod(begin, &end);
        if (end != begin && (*end == '\0' || *end == ' ') && std::isfinite(value)) {
            return value;
        }
    }
    return boost::none;
}

}  // namespace Host
}  // namespace Kol
