#pragma once

#include <cstdint>

namespace Kol {
namespace Host {

// Fault injection for tests: an SQLite VFS that passes every call to the
// default one, with two faults of a full disk (SQLITE_FULL), over every file
// opened through it (database, log, backup copy):
// - a window of writes: the writes numbered after + 1 to after + count fail,
//   as on a disk that is full for a moment;
// - a nearly full disk: the files may grow by so many bytes in all; a write
//   that would grow a file past what is left fails, and truncating or
//   deleting a file gives its bytes back; the bytes left are the disk's free
//   space (CSqliteDiskSpace::kFreeBytesControl).
// Reads, locks, shared memory and the other writes are untouched.
class CWriteFaultVfs {
public:
    // The name to open a connection with (sqlite3_open_v2's last argument).
    static const char* const kName;  // "cleanup-write-faults"

    // Registers the VFS (once per process) and sets the window; the count of
    // writes starts again at 0. Throws std::runtime_error when SQLite has no
    // default VFS or refuses the registration. Call before opening the
    // connection; not thread-safe against connections already writing.
    static void Install(std::uint64_t after, std::uint64_t count);

    // Registers the VFS like Install and lets the files grow by `bytes` in
    // all from now on.
    static void LimitSpace(std::uint64_t bytes);

    // Writes seen so far, failed ones included. Any thread.
    static std::uint64_t GetWriteCount();

    CWriteFaultVfs() = delete;

private:
    static void Register();
};

}  // namespace Host
}  // namespace Kol
