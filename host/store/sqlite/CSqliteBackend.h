#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "host/store/IStore.h"
#include "host/store/StoreOptions.h"

namespace Kol {
namespace Host {

// What the factory needs of the SQLite backend, without SQLite's headers:
// the store is made here, so that nothing above the backend's folder sees
// the client library.
//
// Stateless and thread-safe.
class CSqliteBackend {
public:
    // The first step of opening the file options.db (CSqliteStore's
    // constructor, whose refusals and errors it passes on).
    static boost::shared_ptr<IStore> Open(const StoreOptions& options);
    // The SQLite library's version, as sqlite3_libversion() tells it.
    static std::string LibraryVersion();

    CSqliteBackend() = delete;
};

}  // namespace Host
}  // namespace Kol
