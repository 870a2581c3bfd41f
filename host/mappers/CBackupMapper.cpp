#include "host/mappers/CBackupMapper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>

#include <sqlite3.h>
#include <boost/thread/thread.hpp>

#include "host/store/CStoreFiles.h"
#include "host/store/postgres/CPostgresMaintenance.h"
#include "host/store/postgres/CPostgresStore.h"
#include "host/store/sqlite/CSqliteStatement.h"
#include "host/store/sqlite/CSqliteStore.h"

namespace Kol {
namespace Host {

namespace {

// Pages copied per backup step; between steps a forced stop is noticed.
const int kPagesPerStep = 1024;
// Header bytes 18 and 19, the file format's write and read versions: 1 is
// a rollback journal, 2 write-ahead logging (what the copied header says).
const off_t kFormatVersionOffset = 18;

struct ConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
typedef std::unique_ptr<sqlite3, ConnectionCloser> Connection;

Connection OpenConnection(const std::string& path, int flags, const std::string& vfs) {
    sqlite3* opened = nullptr;
    const int code =
        sqlite3_open_v2(path.c_str(), &opened, flags, vfs.empty() ? nullptr : vfs.c_str());
    Connection connection(opened);
    if (code != SQLITE_OK) {
        throw std::runtime_error(
            "cannot open " + path + ": " +
            (opened != nullptr ? sqlite3_errmsg(opened) : sqlite3_errstr(code)));
    }
    return connection;
}

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

// The copy is one self-contained file: mark it as using a rollback journal,
// so that opening it never looks for a write-ahead log beside it.
void MarkRollbackJournal(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    const unsigned char versions[2] = {1, 1};
    const bool written = fd >= 0 && ::pwrite(fd, versions, 2, kFormatVersionOffset) == 2;
    const int error = errno;
    if (fd >= 0) {
        ::close(fd);
    }
    if (!written) {
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
    }
}

}  // namespace

CBackupMapper::CBackupMapper(const Context& context) : CStoreMapper(context) {}

void CBackupMapper::Backup() {
    const std::string& target = Store().GetBackupPath();
    RunCall("backup", "to " + target, [this, &target](CRunReport::MapperCall& call) {
        if (CPostgresStore* server = StoreAs<CPostgresStore>()) {
            CPostgresMaintenance(*server).Backup(call);
            return;
        }
        CSqliteStore& file = *StoreAs<CSqliteStore>();
        if (file.IsDryRun()) {
            const std::string verdict = QuickCheck(file.GetHandle());
            if (verdict != "ok") {
                throw std::runtime_error("backup to " + target +
                                         " failed: the store failed quick_check: " + verdict);
            }
            call.detail = "dry run: the store passed quick_check, no backup written";
            return;
        }
        std::string temporary = target + ".tmp-";
        try {
            ::close(CStoreFiles::Create(file.GetPath(), temporary, true));
            std::int64_t logs = 0;
            if (!WriteCopy(file, temporary, logs)) {
                CStoreFiles::RemoveTemporary(temporary);
                call.interrupted = true;
                return;
            }
            VerifyCopy(temporary, logs);
            SyncPath(temporary, O_RDONLY);
            if (Store().IsDamaged()) {
                throw std::runtime_error(Store().DamageText());
            }
            if (std::rename(temporary.c_str(), target.c_str()) != 0) {
                throw std::runtime_error("cannot rename " + temporary + ": " +
                                         std::strerror(errno));
            }
            SyncPath(DirectoryOf(target), O_RDONLY | O_DIRECTORY);
            struct stat status {};
            const long long size = ::stat(target.c_str(), &status) == 0 ? status.st_size : 0;
            call.detail = "wrote " + std::to_string(size) + " bytes to " + target +
                          ", a snapshot holding " + std::to_string(logs) + " logs";
        } catch (const std::exception& e) {
            CStoreFiles::RemoveTemporary(temporary);
            throw std::runtime_error("backup to " + target + " failed: " + e.what());
        }
        // The long read let the log grow under the other writers.
        call.detail += "; " + file.TruncateLog().Text();
    });
}

bool CBackupMapper::WriteCopy(CSqliteStore& store, const std::string& temporary,
                              std::int64_t& logs) const {
    Connection copy = OpenConnection(temporary, SQLITE_OPEN_READWRITE, store.GetVfs());
    // Nothing beside the copy: a failed copy is removed whole.
    CSqliteStatement(copy.get(), "PRAGMA journal_mode = OFF").Run();
    CSqliteStatement(copy.get(), "PRAGMA synchronous = OFF").Run();

    // One read transaction for the whole copy: its snapshot is what gets
    // copied, however much other writers commit meanwhile (readers do not
    // block writers in write-ahead-log mode), so the copy never starts over.
    std::lock_guard<std::recursive_mutex> lock(store.TransactionMutex());
    store.Execute("BEGIN");
    struct EndRead {
        CSqliteStore& store;
        ~EndRead() {
            try {
                store.Execute("COMMIT");
            } catch (const std::exception&) {
                // A read transaction ends with its connection anyway.
            }
        }
    } endRead{store};
    logs = store.QueryInt64("SELECT count(*) FROM logs");

    sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", store.GetHandle(), "main");
    if (backup == nullptr) {
        throw std::runtime_error(sqlite3_errmsg(copy.get()));
    }
    for (;;) {
        const int step = sqlite3_backup_step(backup, kPagesPerStep);
        if (step == SQLITE_DONE) {
            break;
        }
        if (step != SQLITE_OK) {
            sqlite3_backup_finish(backup);
            if ((step & 0xff) == SQLITE_CORRUPT || (step & 0xff) == SQLITE_NOTADB) {
                store.MarkDamaged(sqlite3_errstr(step));
            }
            throw std::runtime_error(sqlite3_errstr(step));
        }
        if (boost::this_thread::interruption_requested()) {
            sqlite3_backup_finish(backup);
            return false;
        }
    }
    if (sqlite3_backup_finish(backup) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(copy.get()));
    }
    return true;
}

void CBackupMapper::VerifyCopy(const std::string& temporary, std::int64_t logs) const {
    MarkRollbackJournal(temporary);
    // A connection of its own on the file as written, never the store's.
    Connection copy = OpenConnection(temporary, SQLITE_OPEN_READONLY, std::string());
    const std::string verdict = QuickCheck(copy.get());
    if (verdict != "ok") {
        throw std::runtime_error("the copy failed quick_check: " + verdict);
    }
    CSqliteStatement count(copy.get(), "SELECT count(*) FROM logs");
    const std::int64_t copied = count.Step() ? count.GetInt64(0) : -1;
    if (copied != logs) {
        throw std::runtime_error("the copy holds " + std::to_string(copied) +
                                 " logs, its snapshot " + std::to_string(logs));
    }
}

}  // namespace Host
}  // namespace Kol
