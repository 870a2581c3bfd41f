#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "host/store/IStore.h"
#include "host/store/StoreOptions.h"

namespace Kol {
namespace Host {

// The one place that knows both backends: --db picks the PostgreSQL store
// for a "postgresql://" or "postgres://" URI and the SQLite store for
// anything else (a file's path).
//
// Stateless and thread-safe.
class CStoreFactory {
public:
    // True when `db` names a PostgreSQL server.
    static bool IsServer(const std::string& db);

    // `db` as logs and reports show it: a URI's password masked ("***"), a
    // file's absolute path (CStoreFiles::AbsolutePath).
    static std::string DisplayName(const std::string& db);

    // The first step of opening (see IStore::FinishOpening): connects or
    // opens the file, takes the store's lock where that writes nothing
    // (PostgreSQL's session lock, the lock of a file still to be made) and
    // checks that the store is ours, writing nothing to it. Throws
    // std::invalid_argument with a whole sentence when the store or a
    // chosen backup is refused, std::runtime_error otherwise; the store is
    // then unchanged.
    static boost::shared_ptr<IStore> Open(const StoreOptions& options);

    // The client libraries the program runs with, one "Name: version" line
    // each, for --version.
    static std::string LibraryVersions();

    CStoreFactory() = delete;
};

}  // namespace Host
}  // namespace Kol
