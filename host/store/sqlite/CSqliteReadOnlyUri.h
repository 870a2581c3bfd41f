#pragma once

#include <string>

namespace Kol {
namespace Host {

// The SQLite URI that opens a store file to read it only and leave nothing
// beside it. Without a write-ahead log the file is opened immutable: SQLite
// then makes no -wal or -shm file (which a plain read-only open of a WAL
// store does) and takes no lock. With one, the log must be read too, so the
// file is opened read-only with a shared memory index that SQLite never
// writes (readonly_shm).
//
// Pure; any thread.
class CSqliteReadOnlyUri {
public:
    // `path`: an absolute real path. Every byte outside [A-Za-z0-9/._~-] is
    // percent-encoded, so that no part of the path reads as a parameter.
    static std::string Of(const std::string& path, bool hasLog);

    CSqliteReadOnlyUri() = delete;
};

}  // namespace Host
}  // namespace Kol
