#pragma once

#include <cstdint>

namespace Kol {
namespace Host {

// Fault injection for tests: an SQLite VFS that passes every call to the
// default one, except that the writes numbered after + 1 to after + count,
// counted over every file opened through it (database, log, backup copy),
// fail with SQLITE_FULL, as on a disk that is full for a moment. Reads,
// locks, shared memory and the writes outside the window are untouched.
class CWriteFaultVfs {
public:
    // The name to open a connection with (sqlite3_open_v2's last argument).
    static const char* const kName;  // "cleanup-write-faults"

    // Registers the VFS (once per process) and sets the window; the count of
    // writes starts again at 0. Throws std::runtime_error when SQLite has no
    // default VFS or refuses the registration. Call before opening the
    // connection; not thread-safe against connections already writing.
    static void Install(std::uint64_t after, std::uint64_t count);

    // Writes seen so far, failed ones included. Any thread.
    static std::uint64_t GetWriteCount();

    CWriteFaultVfs() = delete;
};

}  // namespace Host
}  // namespace Kol
