#include "host/store/sqlite/CStoreLock.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "host/store/CStoreFiles.h"

namespace Kol {
namespace Host {

namespace {

const std::chrono::milliseconds kPoll(50);

}  // namespace

CStoreLock::CStoreLock(const std::string& store, std::chrono::seconds wait, const StopCheck& stop)
    : m_store(store), m_path(CStoreFiles::LockPath(store)), m_fd(-1), m_created(false) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::string holder;
    while (!TryOnce(holder)) {
        if (std::chrono::steady_clock::now() >= deadline || (stop && stop())) {
            throw std::runtime_error("another cleanup-agent (pid " +
                                     (holder.empty() ? std::string("unknown") : holder) +
                                     ") is cleaning " + store);
        }
        std::this_thread::sleep_for(kPoll);
    }
}

CStoreLock::~CStoreLock() {
    // Removed while still held: a run waiting on this file then finds it gone
    // and starts again on a new one. A file this run did not make is never
    // removed: it may be someone else's.
    if (m_created) {
        ::unlink(m_path.c_str());
    }
    ::close(m_fd);
}

bool CStoreLock::TryOnce(std::string& holder) {
    for (;;) {
        std::string path = m_path;
        bool created = false;
        const int fd = CStoreFiles::Create(m_store, path, false, &created);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            char text[32] = {};
            const ssize_t length = ::pread(fd, text, sizeof text - 1, 0);
            ::close(fd);
            if (error != EWOULDBLOCK) {
                throw std::runtime_error("cannot lock " + m_path + ": " + std::strerror(error));
            }
            holder.assign(text, length > 0 ? static_cast<std::size_t>(length) : 0);
            return false;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) != 0 || ::stat(m_path.c_str(), &named) != 0 ||
            held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
            ::close(fd);
            continue;  // let go by its holder and removed meanwhile: try the new one
        }
        const std::string pid = std::to_string(::getpid());
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
            const std::string message = "cannot write " + m_path + ": " + std::strerror(errno);
            ::close(fd);
            throw std::runtime_error(message);
        }
        m_fd = fd;
        m_created = created;
        return true;
    }
}

}  // namespace Host
}  // namespace Kol
