#include "host/health/CStoreReportWriter.h"

#include <cstdio>
#include <ctime>

#include <nlohmann/json.hpp>

#include "host/cli/COperationCatalog.h"
#include "host/store/CUnits.h"

namespace Kol {
namespace Host {

namespace {

using json = nlohmann::ordered_json;

std::string At(std::int64_t unixSeconds) {
    std::timespec time{};
    time.tv_sec = static_cast<std::time_t>(unixSeconds);
    return CUnits::Time(time);
}

std::string Age(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f d", static_cast<double>(seconds) / 86400.0);
    return text;
}

// One row of a table: each cell but the last padded to its width and one
// blank; the last as it is.
std::string Row(const std::vector<std::pair<std::string, std::size_t>>& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        line += cells[i].first;
        if (i + 1 < cells.size()) {
            line += std::string(cells[i].second > cells[i].first.size()
                                    ? cells[i].second - cells[i].first.size()
                                    : 0,
                                ' ') +
                    " ";
        }
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line + "\n";
}

template <typename T>
json OrNull(const boost::optional<T>& value) {
    return value ? json(*value) : json();
}

// The configured limits; null when none is given.
json SizeLimitsJson(const SizeLimits& limits) {
    if (!limits.Any()) {
        return json();
    }
    return {{"max_size", OrNull(limits.maxSize)},
            {"keep_free", OrNull(limits.keepFree)},
            {"min_age_days", limits.minAgeDays}};
}

std::string StoreLines(const CStoreReport::Figures& figures) {
    const CStoreDescription& d = figures.description;
    std::string text = "store         " + figures.context.name + "\n";
    text +=
        "kind          " + d.kind + ", schema version " + std::to_string(d.schemaVersion) + "\n";
    text += "installation  " + figures.context.installationUuid + ", kind " +
            std::to_string(figures.context.installationKind) + "\n";
    text += "size          " + CUnits::Size(d.bytes) + "\n";
    if (d.logBytes) {
        text += "log           " + CUnits::Size(*d.logBytes) + "\n";
    }
    if (d.freeBytes) {
        text += "free pages    " + CUnits::Size(*d.freeBytes) + " inside the file; auto-vacuum " +
                d.autoVacuum.value_or("?") + "\n";
    }
    const SizeLimits& limits = figures.context.sizeLimits;
    if (limits.Any()) {
        text += "size limits  ";
        if (limits.maxSize) {
            text += " --max-size " + CUnits::Size(*limits.maxSize) + ",";
        }
        if (limits.keepFree) {
            text += " --keep-free " + CUnits::Size(*limits.keepFree) + ",";
        }
        text += " --min-age " + std::to_string(limits.minAgeDays) + " days\n";
    }
    if (d.logPartitions) {
        text += "partitions    " + std::to_string(*d.logPartitions) + " of logs; " +
                std::to_string(d.defaultPartitionRows.value_or(0)) +
                " rows in the default partitions\n";
    }
    return text;
}

std::string TableLines(const CStoreReport::Figures& figures) {
    std::string text = "\n" + Row({{"table", 22}, {"rows", 12}, {"bytes", 0}});
    for (const CStoreReport::Table& table : figures.tables) {
        text += Row(
            {{table.name, 22}, {std::to_string(table.rows), 12}, {CUnits::Size(table.bytes), 0}});
    }
    text += "\n" + Row({{"class", 5},
                        {"retention", 9},
                        {"logs", 10},
                        {"bytes", 24},
                        {"oldest kept log", 25},
                        {"age", 9},
                        {"expired", 0}});
    for (const CStoreReport::Class& c : figures.classes) {
        text += Row({{std::to_string(c.number), 5},
                     {std::to_string(c.retentionDays) + " d", 9},
                     {std::to_string(c.logs), 10},
                     {c.bytes ? CUnits::Size(*c.bytes) : "-", 24},
                     {c.oldestCreatedAt ? At(*c.oldestCreatedAt) : "-", 25},
                     {c.oldestAgeSeconds ? Age(*c.oldestAgeSeconds) : "-", 9},
                     {std::to_string(c.expiredLogs), 0}});
    }
    return text;
}

std::string NextRunLines(const CStoreReport::Figures& figures) {
    std::string text = "\n" + Row({{"next run (all)", 22}, {"rows", 0}});
    for (const CNextRunForecast::Operation& operation : figures.nextRun.operations) {
        text += Row({{COperationCatalog::NameOf(operation.number), 22},
                     {std::to_string(operation.rows), 0}});
    }
    const CRemovalForecast::Figures& total = figures.nextRun.total;
    text += Row({{"total", 22}, {std::to_string(total.rows), 0}});
    text += "would return about " + CUnits::Size(total.bytesReturned) +
            ", leaving the store at about " + CUnits::Size(total.storeBytesAfter) + "\n";
    return text;
}

std::string RunLines(const CStoreReport::Figures& figures) {
    std::string text = "\n" + Row({{"last runs: start", 25},
                                   {"seconds", 8},
                                   {"status", 11},
                                   {"exit", 4},
                                   {"dry", 3},
                                   {"rows", 9},
                                   {"operations", 0}});
    if (figures.runs.empty()) {
        return text + "none recorded\n";
    }
    for (const RunRecord& run : figures.runs) {
        text += Row(
            {{At(run.start), 25},
             {std::to_string(run.end - run.start), 8},
             {run.status, 11},
             {std::to_string(run.exitCode), 4},
             {run.dryRun ? "yes" : "no", 3},
             {std::to_string(run.rowsRemoved), 9},
             {run.operations.size() > 32 ? run.operations.substr(0, 29) + "..." : run.operations,
              0}});
        if (run.error) {
            const std::string error = "  error: " + *run.error;
            text += (error.size() > CStoreReportWriter::kColumns
                         ? error.substr(0, CStoreReportWriter::kColumns - 3) + "..."
                         : error) +
                    "\n";
        }
    }
    return text;
}

}  // namespace

constexpr std::size_t CStoreReportWriter::kColumns;

std::string CStoreReportWriter::Text(const CStoreReport::Figures& figures) {
    return StoreLines(figures) + TableLines(figures) + NextRunLines(figures) + RunLines(figures);
}

std::string CStoreReportWriter::Json(const CStoreReport::Figures& figures) {
    const CStoreDescription& d = figures.description;
    json tables = json::array();
    for (const CStoreReport::Table& table : figures.tables) {
        tables.push_back({{"name", table.name}, {"rows", table.rows}, {"bytes", table.bytes}});
    }
    json classes = json::array();
    for (const CStoreReport::Class& c : figures.classes) {
        classes.push_back(
            {{"class", c.number},
             {"retention_days", c.retentionDays},
             {"logs", c.logs},
             {"bytes", OrNull(c.bytes)},
             {"oldest_created_at", c.oldestCreatedAt ? json(At(*c.oldestCreatedAt)) : json()},
             {"oldest_age_seconds", OrNull(c.oldestAgeSeconds)},
             {"expired_logs", c.expiredLogs}});
    }
    json nextRun = json::array();
    for (const CNextRunForecast::Operation& operation : figures.nextRun.operations) {
        nextRun.push_back({{"operation", COperationCatalog::NameOf(operation.number)},
                           {"number", operation.number},
                           {"rows", operation.rows}});
    }
    json runs = json::array();
    for (const RunRecord& run : figures.runs) {
        runs.push_back({{"start", At(run.start)},
                        {"end", At(run.end)},
                        {"status", run.status},
                        {"exit_code", run.exitCode},
                        {"dry_run", run.dryRun},
                        {"operations", run.operations},
                        {"rows_removed", run.rowsRemoved},
                        {"bytes_freed", run.bytesFreed},
                        {"bytes_returned", run.bytesReturned},
                        {"error", OrNull(run.error)}});
    }
    const CRemovalForecast::Figures& total = figures.nextRun.total;
    const json document = {
        {"format", 1},
        {"generated_at", At(figures.context.now)},
        {"store", figures.context.name},
        {"kind", d.kind},
        {"schema_version", d.schemaVersion},
        {"installation_uuid", figures.context.installationUuid},
        {"installation_kind", figures.context.installationKind},
        {"bytes", d.bytes},
        {"log_bytes", OrNull(d.logBytes)},
        {"free_bytes", OrNull(d.freeBytes)},
        {"auto_vacuum", OrNull(d.autoVacuum)},
        {"log_partitions", OrNull(d.logPartitions)},
        {"default_partition_rows", OrNull(d.defaultPartitionRows)},
        {"size_limits", SizeLimitsJson(figures.context.sizeLimits)},
        {"tables", tables},
        {"classes", classes},
        {"next_run", nextRun},
        {"next_run_total",
         {{"rows_removed", total.rows},
          {"bytes_returned_estimate", total.bytesReturned},
          {"store_bytes_after_estimate", total.storeBytesAfter}}},
        {"runs", runs},
    };
    return document.dump(2) + "\n";
}

}  // namespace Host
}  // namespace Kol
