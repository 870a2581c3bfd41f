#include "host/store/sqlite/CSqliteBackup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>

#include <sqlite3.h>
#include <boost/thread/thread.hpp>

#include "host/store/CBackupCommit.h"
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

CSqliteBackup::CSqliteBackup(CSqliteStore& store) : m_store(store) {}

IStoreMaintenance::Result CSqliteBackup::Write() {
    const std::string& target = m_store.GetBackupPath();
    IStoreMaintenance::Result result;
    if (m_store.IsDryRun()) {
        const std::string verdict = QuickCheck(m_store.GetHandle());
        if (verdict != "ok") {
            throw std::runtime_error("backup to " + target +
                                     " failed: the store failed quick_check: " + verdict);
        }
        result.detail = "dry run: the store passed quick_check, no backup written";
        return result;
    }
    try {
        CBackupCommit commit(target, m_store.GetPath());
        std::int64_t logs = 0;
        if (!WriteCopy(commit.GetTemporary(), logs)) {
            result.interrupted = true;
            return result;
        }
        VerifyCopy(commit.GetTemporary(), logs);
        const std::int64_t size = commit.Commit([this] {
            if (m_store.IsDamaged()) {
                throw std::runtime_error(m_store.DamageText());
            }
        });
        result.detail = "wrote " + std::to_string(size) + " bytes to " + target +
                        ", a snapshot holding " + std::to_string(logs) + " logs";
    } catch (const std::exception& e) {
        throw std::runtime_error("backup to " + target + " failed: " + e.what());
    }
    // The long read let the log grow under the other writers.
    result.detail += "; " + m_store.TruncateLog().Text();
    return result;
}

bool CSqliteBackup::WriteCopy(const std::string& temporary, std::int64_t& logs) {
    Connection copy = OpenConnection(temporary, SQLITE_OPEN_READWRITE, m_store.GetVfs());
    // Nothing beside the copy: a failed copy is removed whole.
    CSqliteStatement(copy.get(), "PRAGMA journal_mode = OFF").Run();
    CSqliteStatement(copy.get(), "PRAGMA synchronous = OFF").Run();

    // One read transaction for the whole copy: its snapshot is what gets
    // copied, however much other writers commit meanwhile (readers do not
    // block writers in write-ahead-log mode), so the copy never starts over.
    std::lock_guard<std::recursive_mutex> lock(m_store.TransactionMutex());
    m_store.Execute("BEGIN");
    struct EndRead {
        CSqliteStore& store;
        ~EndRead() {
            try {
                store.Execute("COMMIT");
            } catch (const std::exception&) {
                // A read transaction ends with its connection anyway.
            }
        }
    } endRead{m_store};
    logs = m_store.QueryInt64("SELECT count(*) FROM logs");

    sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", m_store.GetHandle(), "main");
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
                m_store.MarkDamaged(sqlite3_errstr(step));
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

boost::optional<std::string> CSqliteBackup::InstallationOf(const std::string& path) {
    try {
        Connection backup = OpenConnection(path, SQLITE_OPEN_READONLY, std::string());
        CSqliteStatement setting(backup.get(),
                                 "SELECT value FROM settings WHERE key = 'installation_uuid'");
        if (setting.Step()) {
            return setting.GetText(0);
        }
    } catch (const std::exception&) {
        // Not readable as a store: nothing to compare.
    }
    return boost::none;
}

void CSqliteBackup::VerifyCopy(const std::string& temporary, std::int64_t logs) {
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
