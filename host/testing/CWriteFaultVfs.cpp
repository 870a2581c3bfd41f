#include "host/testing/CWriteFaultVfs.h"

#include <sys/stat.h>

#include <atomic>
#include <stdexcept>

#include <sqlite3.h>

#include "host/store/sqlite/CSqliteDiskSpace.h"

namespace Kol {
namespace Host {

const char* const CWriteFaultVfs::kName = "cleanup-write-faults";

namespace {

std::atomic<std::uint64_t> g_writes{0};
std::atomic<std::uint64_t> g_failFrom{0};  // first failing write number
std::atomic<std::uint64_t> g_failTo{0};    // last failing write number
std::atomic<bool> g_spaceLimited{false};
std::atomic<std::int64_t> g_spaceLeft{0};  // bytes the files may still grow by

// Takes `growth` bytes of what is left; false when they are not there.
bool TakeSpace(std::int64_t growth) {
    std::int64_t left = g_spaceLeft.load();
    do {
        if (left < growth) {
            return false;
        }
    } while (!g_spaceLeft.compare_exchange_weak(left, left - growth));
    return true;
}

// Our file object; the default VFS's own file object follows it in the
// same allocation.
struct FaultFile {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_vfs* Real(sqlite3_vfs* vfs) {
    return static_cast<sqlite3_vfs*>(vfs->pAppData);
}

sqlite3_file* Real(sqlite3_file* file) {
    return reinterpret_cast<FaultFile*>(file)->real;
}

int Close(sqlite3_file* file) {
    return Real(file)->pMethods->xClose(Real(file));
}

int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}

int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    const std::uint64_t number = ++g_writes;
    if (number >= g_failFrom.load() && number <= g_failTo.load()) {
        return SQLITE_FULL;
    }
    if (g_spaceLimited) {
        sqlite3_int64 size = 0;
        Real(file)->pMethods->xFileSize(Real(file), &size);
        const std::int64_t growth = offset + amount - size;
        if (growth > 0 && !TakeSpace(growth)) {
            return SQLITE_FULL;
        }
    }
    return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset);
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    sqlite3_int64 before = 0;
    Real(file)->pMethods->xFileSize(Real(file), &before);
    const int code = Real(file)->pMethods->xTruncate(Real(file), size);
    if (code == SQLITE_OK && g_spaceLimited && size < before) {
        g_spaceLeft += before - size;
    }
    return code;
}

int Sync(sqlite3_file* file, int flags) {
    return Real(file)->pMethods->xSync(Real(file), flags);
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    return Real(file)->pMethods->xFileSize(Real(file), size);
}

int Lock(sqlite3_file* file, int level) {
    return Real(file)->pMethods->xLock(Real(file), level);
}

int Unlock(sqlite3_file* file, int level) {
    return Real(file)->pMethods->xUnlock(Real(file), level);
}

int CheckReservedLock(sqlite3_file* file, int* result) {
    return Real(file)->pMethods->xCheckReservedLock(Real(file), result);
}

int FileControl(sqlite3_file* file, int operation, void* argument) {
    if (operation == CSqliteDiskSpace::kFreeBytesControl && g_spaceLimited) {
        *static_cast<sqlite3_int64*>(argument) = g_spaceLeft.load();
        return SQLITE_OK;
    }
    return Real(file)->pMethods->xFileControl(Real(file), operation, argument);
}

int SectorSize(sqlite3_file* file) {
    return Real(file)->pMethods->xSectorSize(Real(file));
}

int DeviceCharacteristics(sqlite3_file* file) {
    return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}

int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** memory) {
    return Real(file)->pMethods->xShmMap(Real(file), region, size, extend, memory);
}

int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
    return Real(file)->pMethods->xShmLock(Real(file), offset, count, flags);
}

void ShmBarrier(sqlite3_file* file) {
    Real(file)->pMethods->xShmBarrier(Real(file));
}

int ShmUnmap(sqlite3_file* file, int deleteFlag) {
    return Real(file)->pMethods->xShmUnmap(Real(file), deleteFlag);
}

int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** page) {
    return Real(file)->pMethods->xFetch(Real(file), offset, amount, page);
}

int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    return Real(file)->pMethods->xUnfetch(Real(file), offset, page);
}

const sqlite3_io_methods kMethods = {3,
                                     Close,
                                     Read,
                                     Write,
                                     Truncate,
                                     Sync,
                                     FileSize,
                                     Lock,
                                     Unlock,
                                     CheckReservedLock,
                                     FileControl,
                                     SectorSize,
                                     DeviceCharacteristics,
                                     ShmMap,
                                     ShmLock,
                                     ShmBarrier,
                                     ShmUnmap,
                                     Fetch,
                                     Unfetch};

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    FaultFile* const fault = reinterpret_cast<FaultFile*>(file);
    fault->real = reinterpret_cast<sqlite3_file*>(fault + 1);
    fault->real->pMethods = nullptr;
    const int code = Real(vfs)->xOpen(Real(vfs), name, fault->real, flags, outFlags);
    if (fault->real->pMethods != nullptr && fault->real->pMethods->iVersion < 3) {
        // Every method is passed on, so the default file must have them all.
        fault->real->pMethods->xClose(fault->real);
        fault->base.pMethods = nullptr;
        return SQLITE_CANTOPEN;
    }
    // Without methods SQLite never calls xClose on a file that failed to open.
    fault->base.pMethods = fault->real->pMethods != nullptr ? &kMethods : nullptr;
    return code;
}

int Delete(sqlite3_vfs* vfs, const char* name, int syncDirectory) {
    struct stat status {};
    const std::int64_t size = ::stat(name, &status) == 0 ? status.st_size : 0;
    const int code = Real(vfs)->xDelete(Real(vfs), name, syncDirectory);
    if (code == SQLITE_OK && g_spaceLimited) {
        g_spaceLeft += size;
    }
    return code;
}

int Access(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
    return Real(vfs)->xAccess(Real(vfs), name, flags, result);
}

int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
    return Real(vfs)->xFullPathname(Real(vfs), name, size, out);
}

void* DlOpen(sqlite3_vfs* vfs, const char* name) {
    return Real(vfs)->xDlOpen(Real(vfs), name);
}

void DlError(sqlite3_vfs* vfs, int size, char* message) {
    Real(vfs)->xDlError(Real(vfs), size, message);
}

void (*DlSym(sqlite3_vfs* vfs, void* handle, const char* symbol))(void) {
    return Real(vfs)->xDlSym(Real(vfs), handle, symbol);
}

void DlClose(sqlite3_vfs* vfs, void* handle) {
    Real(vfs)->xDlClose(Real(vfs), handle);
}

int Randomness(sqlite3_vfs* vfs, int size, char* out) {
    return Real(vfs)->xRandomness(Real(vfs), size, out);
}

int Sleep(sqlite3_vfs* vfs, int microseconds) {
    return Real(vfs)->xSleep(Real(vfs), microseconds);
}

int CurrentTime(sqlite3_vfs* vfs, double* now) {
    return Real(vfs)->xCurrentTime(Real(vfs), now);
}

int GetLastError(sqlite3_vfs* vfs, int size, char* out) {
    return Real(vfs)->xGetLastError(Real(vfs), size, out);
}

int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now) {
    return Real(vfs)->xCurrentTimeInt64(Real(vfs), now);
}

sqlite3_vfs g_vfs;

}  // namespace

void CWriteFaultVfs::Install(std::uint64_t after, std::uint64_t count) {
    Register();
    g_writes = 0;
    g_failFrom = after + 1;
    g_failTo = count == 0 ? 0 : after + count;
}

void CWriteFaultVfs::LimitSpace(std::uint64_t bytes) {
    Register();
    g_spaceLeft = static_cast<std::int64_t>(bytes);
    g_spaceLimited = true;
}

void CWriteFaultVfs::Register() {
    if (sqlite3_vfs_find(kName) == nullptr) {
        sqlite3_vfs* const real = sqlite3_vfs_find(nullptr);
        if (real == nullptr || real->iVersion < 2) {
            throw std::runtime_error("SQLite has no default file system to inject faults into");
        }
        g_vfs = sqlite3_vfs{};
        g_vfs.iVersion = 2;
        g_vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + real->szOsFile;
        g_vfs.mxPathname = real->mxPathname;
        g_vfs.zName = kName;
        g_vfs.pAppData = real;
        g_vfs.xOpen = Open;
        g_vfs.xDelete = Delete;
        g_vfs.xAccess = Access;
        g_vfs.xFullPathname = FullPathname;
        g_vfs.xDlOpen = DlOpen;
        g_vfs.xDlError = DlError;
        g_vfs.xDlSym = DlSym;
        g_vfs.xDlClose = DlClose;
        g_vfs.xRandomness = Randomness;
        g_vfs.xSleep = Sleep;
        g_vfs.xCurrentTime = CurrentTime;
        g_vfs.xGetLastError = GetLastError;
        g_vfs.xCurrentTimeInt64 = CurrentTimeInt64;
        if (sqlite3_vfs_register(&g_vfs, 0) != SQLITE_OK) {
            throw std::runtime_error("SQLite refused the fault-injecting file system");
        }
    }
}

std::uint64_t CWriteFaultVfs::GetWriteCount() {
    return g_writes.load();
}

}  // namespace Host
}  // namespace Kol
