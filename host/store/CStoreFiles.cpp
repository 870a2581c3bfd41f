#include "host/store/CStoreFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <stdexcept>

#include <boost/algorithm/string/predicate.hpp>

#include "host/store/CStoreIdentity.h"

namespace Kol {
namespace Host {

namespace {

const char* const kTemporaryInfix = ".tmp";
const char* const kSqliteSuffixes[] = {"-journal", "-wal", "-shm"};

std::string Error(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

std::string Real(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        throw std::runtime_error(Error("cannot resolve", path));
    }
    return resolved;
}

// "user root (uid 0)", or "uid 1234" for a number without a user.
std::string UserName(uid_t uid) {
    char buffer[4096];
    passwd entry{};
    passwd* found = nullptr;
    const std::string number = "uid " + std::to_string(uid);
    return ::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr
               ? "user " + std::string(found->pw_name) + " (" + number + ")"
               : number;
}

std::string RegexQuoted(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

}  // namespace

std::string CStoreFiles::RealPath(const std::string& path) {
    if (Exists(path)) {
        return Real(path);
    }
    const std::string::size_type slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string real = Real(folder);
    return (real == "/" ? "" : real) + "/" + name;
}

std::string CStoreFiles::AbsolutePath(const std::string& path) {
    try {
        return RealPath(path);
    } catch (const std::runtime_error&) {
        char folder[PATH_MAX];
        return path.empty() || path[0] == '/' || ::getcwd(folder, sizeof folder) == nullptr
                   ? path
                   : std::string(folder) + "/" + path;
    }
}

void CStoreFiles::CheckOwner(const std::string& store) {
    struct stat status {};
    const uid_t self = ::geteuid();
    if (self == 0 || ::stat(store.c_str(), &status) != 0 || status.st_uid == self) {
        return;
    }
    throw std::invalid_argument(store + " belongs to " + UserName(status.st_uid) + "; you are " +
                                UserName(self) + ": run cleanup-agent as the store's owner");
}

bool CStoreFiles::Exists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

bool CStoreFiles::IsRegularFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

int CStoreFiles::Create(const std::string& store, std::string& path, bool unique, bool* made) {
    struct stat model {};
    const bool modelled = ::stat(store.c_str(), &model) == 0;
    const mode_t mode = modelled ? (model.st_mode & 0777) : 0644;
    int fd = -1;
    bool created = true;
    if (unique) {
        path += "XXXXXX";
        std::string name = path;
        fd = ::mkostemp(&name[0], O_CLOEXEC);
        path = name;
    } else {
        // Never through a symbolic link, and never blocking on a FIFO.
        const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
        if (fd < 0 && errno == EEXIST) {
            created = false;
            fd = ::open(path.c_str(), flags);
        }
    }
    if (fd < 0) {
        throw std::runtime_error(errno == ELOOP ? "cannot create " + path +
                                                      ": it is a symbolic link; it is left as it is"
                                                : Error("cannot create", path));
    }
    struct stat status {};
    if (!created && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        ::close(fd);
        throw std::runtime_error("cannot create " + path +
                                 ": it is not a regular file; it is left as it is");
    }
    if (made != nullptr) {
        *made = created;
    }
    // The umask may have taken bits away; never add any beyond the store's.
    if (created && modelled &&
        (::fchmod(fd, mode) != 0 ||
         (::geteuid() == 0 && ::fchown(fd, model.st_uid, model.st_gid) != 0))) {
        const std::string message = Error("cannot set the owner and mode of", path);
        ::close(fd);
        ::unlink(path.c_str());
        throw std::runtime_error(message);
    }
    return fd;
}

void CStoreFiles::RemoveTemporary(const std::string& temporary) noexcept {
    ::unlink(temporary.c_str());
    for (const char* suffix : kSqliteSuffixes) {
        ::unlink((temporary + suffix).c_str());
    }
}

int CStoreFiles::RemoveStaleTemporaries(const std::string& backup) {
    const std::string::size_type slash = backup.rfind('/');
    const std::string folder = slash == 0 ? "/" : backup.substr(0, slash);
    const std::string base = backup.substr(slash + 1);
    // The names of this and of earlier builds: BACKUP.tmp[-XXXXXX][-journal|-wal|-shm].
    const std::regex ours(RegexQuoted(base + kTemporaryInfix) +
                          "(-[A-Za-z0-9]{6})?(-journal|-wal|-shm)?");
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr) {
        throw std::runtime_error(Error("cannot list", folder));
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        struct stat status {};
        const std::string path = folder + "/" + name;
        if (std::regex_match(name, ours) && ::lstat(path.c_str(), &status) == 0 &&
            S_ISREG(status.st_mode) && ::unlink(path.c_str()) == 0) {
            ++removed;
        }
    }
    ::closedir(directory);
    return removed;
}

bool CStoreFiles::ReadHead(const std::string& backup, char* head, std::size_t size) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(backup.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (fd >= 0 && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        ::close(fd);
        throw std::invalid_argument("--backup: " + backup +
                                    " exists and is not a regular file; it is left as it is");
    }
    std::size_t got = 0;
    while (fd >= 0 && got < size) {
        const ssize_t n = ::read(fd, head + got, size - got);
        if (n <= 0 && !(n < 0 && errno == EINTR)) {
            break;
        }
        got += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return got == size;
}

void CStoreFiles::CheckChosenBackup(const std::string& store, const std::string& backup) {
    for (const std::string& taken :
         {store, store + "-journal", store + "-wal", store + "-shm", LockPath(store)}) {
        if (backup == taken) {
            throw std::invalid_argument("--backup: " + backup + " is the store's own file");
        }
    }
    if (!Exists(backup)) {
        return;
    }
    // An SQLite database header with this program's application id (the
    // four bytes at offset 68, big-endian).
    char header[72] = {};
    const bool whole = ReadHead(backup, header, sizeof header);
    const unsigned char* id = reinterpret_cast<const unsigned char*>(header) + 68;
    const std::uint32_t application = (std::uint32_t{id[0]} << 24) | (std::uint32_t{id[1]} << 16) |
                                      (std::uint32_t{id[2]} << 8) | std::uint32_t{id[3]};
    if (!whole || std::memcmp(header, "SQLite format 3", 16) != 0 ||
        application != static_cast<std::uint32_t>(CStoreIdentity::kApplicationId)) {
        throw std::invalid_argument("--backup: " + backup +
                                    " exists and is not a backup of a cleanup-agent store; it is "
                                    "left as it is");
    }
}

void CStoreFiles::CheckSameInstallation(const std::string& backup,
                                        const boost::optional<std::string>& store,
                                        const boost::optional<std::string>& inBackup) {
    if (!inBackup || (store && boost::algorithm::iequals(*store, *inBackup))) {
        return;
    }
    throw std::invalid_argument(
        "--backup: " + backup + " is a backup of installation " + *inBackup + ", " +
        (store ? "not of this store's " + *store
               : std::string("and this store has no installation UUID yet")) +
        "; it is left as it is");
}

void CStoreFiles::CheckChosenDump(const std::string& backup) {
    if (!Exists(backup)) {
        return;
    }
    char magic[5] = {};
    if (!ReadHead(backup, magic, sizeof magic) || std::memcmp(magic, "PGDMP", sizeof magic) != 0) {
        throw std::invalid_argument("--backup: " + backup +
                                    " exists and is not a pg_dump archive; it is left as it is");
    }
}

}  // namespace Host
}  // namespace Kol
