#include "host/store/CStoreCensus.h"

#include "host/store/IStore.h"
#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

CStoreCensus::Figures CStoreCensus::Take(IStore& store, std::int64_t now) {
    Figures figures;
    for (int k = 1; k <= kClasses; ++k) {
        const std::int64_t logs =
            store.QueryInt64("SELECT COUNT(*) FROM logs WHERE retention_class = $1", {k});
        figures.logs[k - 1] = logs;
        if (logs > 0) {
            figures.oldestAge[k - 1] =
                now - store.QueryInt64(
                          "SELECT MIN(created_at) FROM logs WHERE retention_class = $1", {k});
        }
    }
    figures.bytes = store.Maintenance().StoreBytes();
    return figures;
}

}  // namespace Host
}  // namespace Kol
