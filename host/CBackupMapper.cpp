#include "host/CBackupMapper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <sqlite3.h>
#include <boost/thread/thread.hpp>

#include "host/CSqliteStatement.h"
#include "host/CSqliteStore.h"

namespace Kol {
namespace Host {

namespace {

// Pages copied per backup step; between steps the store is free for others.
const int kPagesPerStep = 1024;
// Consecutive busy steps (10 ms apart) before the copy gives up.
const int kMaxBusySteps = 500;

struct ConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
typedef std::unique_ptr<sqlite3, ConnectionCloser> Connection;

std::string QuickCheck(sqlite3* db) {
    CSqliteStatement check(db, "PRAGMA quick_check");
    return check.Step() ? check.GetText(0) : std::string("no result");
}

void SyncPath(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    }
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0) {
        throw std::runtime_error("cannot sync " + path + ": " + std::strerror(error));
    }
}

std::string DirectoryOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

CBackupMapper::CBackupMapper(const Context& context) : CStoreMapper(context) {}

void CBackupMapper::Backup() {
    const std::string target = Store().GetPath() + ".bak";
    RunCall("backup", "to " + target, [this, &target](CRunReport::MapperCall& call) {
        if (Store().IsDryRun()) {
            const std::string verdict = QuickCheck(Store().GetHandle());
            if (verdict != "ok") {
                throw std::runtime_error("backup to " + target +
                                         " failed: the store failed quick_check: " + verdict);
            }
            call.detail = "dry run: the store passed quick_check, no backup written";
            return;
        }
        const std::string temporary = target + ".tmp";
        try {
            if (!WriteVerifiedCopy(temporary)) {
                std::remove(temporary.c_str());
                call.interrupted = true;
                return;
            }
            SyncPath(temporary, O_RDONLY);
            if (std::rename(temporary.c_str(), target.c_str()) != 0) {
                throw std::runtime_error("cannot rename " + temporary + ": " +
                                         std::strerror(errno));
            }
            SyncPath(DirectoryOf(target), O_RDONLY | O_DIRECTORY);
        } catch (const std::exception& e) {
            std::remove(temporary.c_str());
            throw std::runtime_error("backup to " + target + " failed: " + e.what());
        }
        struct stat status {};
        const long long size = ::stat(target.c_str(), &status) == 0 ? status.st_size : 0;
        call.detail = "wrote " + std::to_string(size) + " bytes to " + target;
    });
}

bool CBackupMapper::WriteVerifiedCopy(const std::string& temporary) const {
    std::remove(temporary.c_str());  // a leftover of an earlier, broken run
    sqlite3* opened = nullptr;
    const int code = sqlite3_open_v2(temporary.c_str(), &opened,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Connection copy(opened);
    if (code != SQLITE_OK) {
        throw std::runtime_error(
            "cannot create " + temporary + ": " +
            (opened != nullptr ? sqlite3_errmsg(opened) : sqlite3_errstr(code)));
    }
    sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", Store().GetHandle(), "main");
    if (backup == nullptr) {
        throw std::runtime_error(sqlite3_errmsg(copy.get()));
    }
    int busySteps = 0;
    for (;;) {
        const int step = sqlite3_backup_step(backup, kPagesPerStep);
        if (step == SQLITE_DONE) {
            break;
        }
        if (step == SQLITE_BUSY || step == SQLITE_LOCKED) {
            if (++busySteps > kMaxBusySteps) {
                sqlite3_backup_finish(backup);
                throw std::runtime_error("the store stayed busy");
            }
            sqlite3_sleep(10);
        } else if (step != SQLITE_OK) {
            sqlite3_backup_finish(backup);
            throw std::runtime_error(sqlite3_errstr(step));
        } else {
            busySteps = 0;
        }
        if (boost::this_thread::interruption_requested()) {
            sqlite3_backup_finish(backup);
            return false;
        }
    }
    if (sqlite3_backup_finish(backup) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(copy.get()));
    }
    // A backup is one self-contained file: no write-ahead log beside it.
    CSqliteStatement journal(copy.get(), "PRAGMA journal_mode = DELETE");
    journal.Run();
    const std::string verdict = QuickCheck(copy.get());
    if (verdict != "ok") {
        throw std::runtime_error("the copy failed quick_check: " + verdict);
    }
    return true;
}

}  // namespace Host
}  // namespace Kol
