#include "host/store/CBackupCommit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "host/store/CStoreFiles.h"

namespace Kol {
namespace Host {

namespace {

void Sync(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
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

std::string FolderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

CBackupCommit::CBackupCommit(const std::string& target, const std::string& model)
    : m_target(target), m_temporary(target + ".tmp-"), m_committed(false) {
    // A file made unique (mkostemp) starts readable by its owner only, which
    // is right for a copy of every row when there is no file to follow.
    ::close(CStoreFiles::Create(model, m_temporary, true));
}

CBackupCommit::~CBackupCommit() {
    if (!m_committed) {
        CStoreFiles::RemoveTemporary(m_temporary);
    }
}

std::int64_t CBackupCommit::Commit(const boost::function<void()>& lastCheck) {
    Sync(m_temporary, O_RDONLY);
    if (lastCheck) {
        lastCheck();
    }
    if (std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        throw std::runtime_error("cannot rename " + m_temporary + ": " + std::strerror(errno));
    }
    m_committed = true;
    Sync(FolderOf(m_target), O_RDONLY | O_DIRECTORY);
    struct stat status {};
    return ::stat(m_target.c_str(), &status) == 0 ? status.st_size : 0;
}

}  // namespace Host
}  // namespace Kol
