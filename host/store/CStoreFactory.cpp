#include "host/store/CStoreFactory.h"

#include <boost/make_shared.hpp>

#include "host/store/postgres/CPostgresStore.h"
#include "host/store/sqlite/CSqliteStore.h"

namespace Kol {
namespace Host {

bool CStoreFactory::IsServer(const std::string& db) {
    return CPostgresStore::IsUri(db);
}

std::string CStoreFactory::DisplayName(const std::string& db) {
    return IsServer(db) ? CPostgresStore::MaskPassword(db) : db;
}

boost::shared_ptr<IStore> CStoreFactory::Open(const StoreOptions& options) {
    if (IsServer(options.db)) {
        return boost::make_shared<CPostgresStore>(options);
    }
    return boost::make_shared<CSqliteStore>(options);
}

std::string CStoreFactory::LibraryVersions() {
    return "SQLite: " + CSqliteStore::LibraryVersion() + "\n";
}

}  // namespace Host
}  // namespace Kol
