#include "host/mappers/CRebuildIndexesMapper.h"

#include <string>
#include <vector>

#include <boost/thread/thread.hpp>

#include "host/store/postgres/CPostgresMaintenance.h"
#include "host/store/postgres/CPostgresStore.h"
#include "host/store/sqlite/CSqliteStore.h"
#include "host/store/sqlite/CSqliteTransaction.h"

namespace Kol {
namespace Host {

namespace {

std::string QuoteName(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

}  // namespace

CRebuildIndexesMapper::CRebuildIndexesMapper(const Context& context) : CStoreMapper(context) {}

void CRebuildIndexesMapper::Cleanup() {
    RunCall("indexes", "", [this](CRunReport::MapperCall& call) {
        if (CPostgresStore* server = StoreAs<CPostgresStore>()) {
            CPostgresMaintenance(*server).RebuildIndexes(call);
            return;
        }
        // One short transaction per index and per table, rather than one for
        // the whole store; a single index still takes as long as its table is
        // large.
        const std::vector<std::string> indexes = Names("index");
        const std::vector<std::string> tables = Names("table");
        for (const std::string& index : indexes) {
            if (!Run("REINDEX " + QuoteName(index))) {
                call.interrupted = true;
                return;
            }
        }
        for (const std::string& table : tables) {
            if (!Run("ANALYZE " + QuoteName(table))) {
                call.interrupted = true;
                return;
            }
        }
        call.detail = "rebuilt " + std::to_string(indexes.size()) +
                      " indexes and refreshed the statistics of " + std::to_string(tables.size()) +
                      " tables";
    });
}

std::vector<std::string> CRebuildIndexesMapper::Names(const char* type) const {
    std::vector<std::string> names;
    CSqliteStatement list = StoreAs<CSqliteStore>()->Prepare(
        "SELECT name FROM sqlite_master WHERE type = ?1 AND name NOT LIKE 'sqlite_stat%'"
        " ORDER BY name");
    list.Bind(1, std::string(type));
    while (list.Step()) {
        names.push_back(list.GetText(0));
    }
    return names;
}

bool CRebuildIndexesMapper::Run(const std::string& statement) const {
    if (boost::this_thread::interruption_requested()) {
        return false;
    }
    CSqliteStore& file = *StoreAs<CSqliteStore>();
    CSqliteTransaction transaction(file);
    file.Execute(statement);
    transaction.Commit();
    return true;
}

}  // namespace Host
}  // namespace Kol
