#include "host/store/postgres/CPostgresBackend.h"

#include <boost/make_shared.hpp>

#include "host/store/postgres/CPostgresStore.h"
#include "host/store/postgres/CPostgresUri.h"

namespace Kol {
namespace Host {

bool CPostgresBackend::Claims(const std::string& db) {
    return CPostgresUri::IsUri(db);
}

std::string CPostgresBackend::DisplayName(const std::string& uri) {
    return CPostgresUri::Masked(uri);
}

boost::shared_ptr<IStore> CPostgresBackend::Open(const StoreOptions& options) {
    return boost::make_shared<CPostgresStore>(options);
}

}  // namespace Host
}  // namespace Kol
