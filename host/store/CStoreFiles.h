#pragma once

#include <string>

#include <boost/optional.hpp>

namespace Kol {
namespace Host {

// The names and files a run keeps beside the store: the backup FILE.bak (or
// the one --backup names), its temporary copies BACKUP.tmp-XXXXXX beside it
// (with SQLite's -journal, -wal and -shm beside them) and the lock FILE.lock.
// Every name is derived from a real path, so that a symbolic link to the
// store puts them beside the file itself, and every file made here gets the
// store's permission bits (never more) and, when run as root, the store's
// owner and group.
//
// Stateless and thread-safe; failures throw std::runtime_error naming the file.
class CStoreFiles {
public:
    // `path` taken as a plain file name (never an SQLite URI), made absolute
    // with every symbolic link resolved. For an absent file: its folder's real
    // path and its own name. Throws when the folder does not exist.
    static std::string RealPath(const std::string& path);
    // `path` as messages show it: its real path (RealPath), or, when its
    // folder does not exist, the path made absolute from the working
    // directory. Never throws for a path.
    static std::string AbsolutePath(const std::string& path);
    static bool Exists(const std::string& path);

    // Throws std::invalid_argument "<store> belongs to user root (uid 0);
    // you are user nobody (uid 65534): run cleanup-agent as the store's
    // owner" when the existing `store` belongs to another user than this
    // process's and the process is not root: the lock, the backup and the
    // temporary copies beside it would be another user's files, where they
    // can be made at all. An absent store passes. Reads only.
    static void CheckOwner(const std::string& store);
    // True for an existing regular file (after symbolic links).
    static bool IsRegularFile(const std::string& path);

    static std::string BackupPath(const std::string& store) { return store + ".bak"; }
    static std::string LockPath(const std::string& store) { return store + ".lock"; }

    // Creates the file `path` (or, with `unique`, a new file named `path`
    // plus six random characters, whose name is returned in `path`) beside
    // `store` with the store's mode bits and, as root, its owner and group.
    // An absent store leaves the process's default (0644 less the umask).
    // Returns the open descriptor (close-on-exec); without `unique` an
    // existing regular file is opened as it is (never through a symbolic
    // link, never a FIFO), and `made`, when given, tells whether it was new.
    static int Create(const std::string& store, std::string& path, bool unique,
                      bool* made = nullptr);

    // Removes a temporary copy and the files SQLite may have left beside it.
    // Never throws.
    static void RemoveTemporary(const std::string& temporary) noexcept;
    // Removes the temporary copies an earlier, killed run left beside
    // `backup`: regular files with exactly the names this program makes.
    // Returns how many went. Call only while holding the store's lock.
    static int RemoveStaleTemporaries(const std::string& backup);

    // Throws std::invalid_argument "--backup: <backup> ..." when a backup
    // chosen with --backup must not be written: it is the store itself or
    // one of the files SQLite or this program keep beside it, or it exists
    // and is not an SQLite database made by this program (a file of someone
    // else's is never replaced). Reads only.
    static void CheckChosenBackup(const std::string& store, const std::string& backup);

    // The same for the backup of a PostgreSQL store: it must be absent or
    // an archive of pg_dump's custom format.
    static void CheckChosenDump(const std::string& backup);

    // Throws std::invalid_argument "--backup: <backup> is a backup of
    // installation <uuid>, ..." when an existing backup holds another
    // installation's UUID than the store's (`store`: none while the store
    // has none yet), so that one store's backup never replaces another's.
    // A backup holding no UUID (made before stores kept one) may be
    // replaced. Compares letters in any case.
    static void CheckSameInstallation(const std::string& backup,
                                      const boost::optional<std::string>& store,
                                      const boost::optional<std::string>& inBackup);

    CStoreFiles() = delete;

private:
    // Reads the first `size` bytes of an existing backup into `head`; false
    // when the file is shorter (or cannot be read). Throws
    // std::invalid_argument when it is no regular file (a FIFO, a device, a
    // folder), which is never waited on nor replaced.
    static bool ReadHead(const std::string& backup, char* head, std::size_t size);
};

}  // namespace Host
}  // namespace Kol
