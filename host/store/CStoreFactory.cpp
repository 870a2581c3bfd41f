#include "host/store/CStoreFactory.h"

#include "host/store/CStoreFiles.h"
#include "host/store/postgres/CPostgresBackend.h"
#include "host/store/sqlite/CSqliteBackend.h"

namespace Kol {
namespace Host {

bool CStoreFactory::IsServer(const std::string& db) {
    return CPostgresBackend::Claims(db);
}

std::string CStoreFactory::DisplayName(const std::string& db) {
    return IsServer(db) ? CPostgresBackend::DisplayName(db) : CStoreFiles::AbsolutePath(db);
}

boost::shared_ptr<IStore> CStoreFactory::Open(const StoreOptions& options) {
    if (IsServer(options.db)) {
        return CPostgresBackend::Open(options);
    }
    return CSqliteBackend::Open(options);
}

std::string CStoreFactory::LibraryVersions() {
    return "SQLite: " + CSqliteBackend::LibraryVersion() + "\n";
}

}  // namespace Host
}  // namespace Kol
