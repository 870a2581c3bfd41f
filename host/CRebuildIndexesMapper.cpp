#include "host/CRebuildIndexesMapper.h"

#include <string>
#include <vector>

#include <boost/thread/thread.hpp>

#include "host/CSqliteStore.h"
#include "host/CSqliteTransaction.h"

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
        std::vector<std::string> tables;
        CSqliteStatement list = Store().Prepare(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'"
            " ORDER BY name");
        while (list.Step()) {
            tables.push_back(list.GetText(0));
        }
        for (const std::string& table : tables) {
            if (boost::this_thread::interruption_requested()) {
                call.interrupted = true;
                return;
            }
            CSqliteTransaction transaction(Store());
            Store().Execute("REINDEX " + QuoteName(table));
            transaction.Commit();
        }
        CSqliteTransaction transaction(Store());
        Store().Execute("ANALYZE");
        transaction.Commit();
        call.detail = "rebuilt the indexes of " + std::to_string(tables.size()) +
                      " tables and refreshed the statistics";
    });
}

}  // namespace Host
}  // namespace Kol
