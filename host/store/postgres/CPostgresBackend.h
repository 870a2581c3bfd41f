#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "host/store/IStore.h"
#include "host/store/StoreOptions.h"

namespace Kol {
namespace Host {

// What the factory needs of the PostgreSQL backend, without libpqxx's
// headers: the store is made here, so that nothing above the backend's
// folder sees the client library.
//
// Stateless and thread-safe.
class CPostgresBackend {
public:
    // True for "postgresql://..." and "postgres://...".
    static bool Claims(const std::string& db);
    // `uri` with any password replaced by "***".
    static std::string DisplayName(const std::string& uri);
    // The first step of opening the database options.db (CPostgresStore's
    // constructor, whose refusals and errors it passes on).
    static boost::shared_ptr<IStore> Open(const StoreOptions& options);

    CPostgresBackend() = delete;
};

}  // namespace Host
}  // namespace Kol
