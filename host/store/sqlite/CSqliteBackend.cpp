#include "host/store/sqlite/CSqliteBackend.h"

#include <boost/make_shared.hpp>

#include "host/store/sqlite/CSqliteStore.h"

namespace Kol {
namespace Host {

boost::shared_ptr<IStore> CSqliteBackend::Open(const StoreOptions& options) {
    return boost::make_shared<CSqliteStore>(options);
}

std::string CSqliteBackend::LibraryVersion() {
    return CSqliteStore::LibraryVersion();
}

}  // namespace Host
}  // namespace Kol
