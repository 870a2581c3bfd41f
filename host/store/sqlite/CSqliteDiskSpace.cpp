#include "host/store/sqlite/CSqliteDiskSpace.h"

#include <sys/statvfs.h>

#include <limits>

#include <sqlite3.h>

namespace Kol {
namespace Host {

const int CSqliteDiskSpace::kFreeBytesControl = 0x4B4F4C01;

std::int64_t CSqliteDiskSpace::FreeBytes(sqlite3* db, const std::string& path) {
    sqlite3_int64 bytes = 0;
    if (db != nullptr && sqlite3_file_control(db, "main", kFreeBytesControl, &bytes) == SQLITE_OK) {
        return bytes;
    }
    struct statvfs disk {};
    if (::statvfs(path.c_str(), &disk) != 0) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return static_cast<std::int64_t>(disk.f_bavail) * static_cast<std::int64_t>(disk.f_frsize);
}

}  // namespace Host
}  // namespace Kol
