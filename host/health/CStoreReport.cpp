#include "host/health/CStoreReport.h"

#include "host/store/CStoreCensus.h"
#include "host/store/IStore.h"
#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

namespace {

// Every table of the store, in the order the report lists them.
const char* const kTables[] = {
    "logs",          "log_blobs", "owners",     "static_objects", "enrollment_tombstones",
    "status_events", "settings",  "run_history"};

}  // namespace

constexpr std::size_t CStoreReport::kRuns;

CStoreReport::Figures CStoreReport::Take(IStore& store, const Context& context) {
    Figures figures;
    figures.context = context;
    IStoreMaintenance& maintenance = store.Maintenance();
    figures.description = maintenance.Describe();
    for (const char* name : kTables) {
        if (!store.HasTable(name)) {
            continue;  // run_history, on a store of an earlier schema
        }
        Table table;
        table.name = name;
        table.rows = store.QueryInt64(std::string("SELECT count(*) FROM ") + name);
        table.bytes = maintenance.TableBytes(name);
        figures.tables.push_back(table);
    }
    const CStoreCensus::Figures census = CStoreCensus::Take(store, context.now);
    for (int k = 1; k <= CStoreCensus::kClasses; ++k) {
        Class entry;
        entry.number = k;
        entry.retentionDays = context.retention[k - 1];
        entry.logs = census.logs[k - 1];
        entry.bytes = figures.description.classBytes[k - 1];
        entry.oldestAgeSeconds = census.oldestAge[k - 1];
        if (entry.oldestAgeSeconds) {
            entry.oldestCreatedAt = context.now - *entry.oldestAgeSeconds;
        }
        entry.expiredLogs = store.QueryInt64(
            "SELECT count(*) FROM logs WHERE retention_class = $1 AND created_at < $2",
            {k, context.now - entry.retentionDays * CNextRunForecast::kDaySeconds});
        figures.classes.push_back(entry);
    }
    figures.nextRun = CNextRunForecast::Take(store, context.retention, context.now);
    figures.runs = store.ReadRuns(kRuns);
    return figures;
}

}  // namespace Host
}  // namespace Kol
