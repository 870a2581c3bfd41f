#pragma once

#include <cstdint>
#include <string>

struct sqlite3;

namespace Kol {
namespace Host {

// The free space of the disk that holds a store, as the store's connection
// sees it: a file system of SQLite's (a VFS) that knows better, as one that
// simulates a disk does, answers kFreeBytesControl; for any other the
// operating system is asked (statvfs).
class CSqliteDiskSpace {
public:
    // A sqlite3_file_control opcode, far from SQLite's own; the argument is
    // an sqlite3_int64 that receives the free bytes.
    static const int kFreeBytesControl;

    // The bytes an unprivileged writer may still add to the disk of `path`,
    // the main file of `db`; the greatest std::int64_t when unknown. Any
    // thread; throws nothing.
    static std::int64_t FreeBytes(sqlite3* db, const std::string& path);

    CSqliteDiskSpace() = delete;
};

}  // namespace Host
}  // namespace Kol
