#include "host/kernel/CTrustedPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace Kol {
namespace Host {

void CTrustedPath::Check(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        throw std::runtime_error("cannot resolve " + path + ": " + std::strerror(errno));
    }
    std::string at = resolved;
    for (bool file = true;; file = false) {
        struct stat status {};
        if (::stat(at.c_str(), &status) != 0) {
            throw std::runtime_error("cannot read " + at + ": " + std::strerror(errno));
        }
        const bool ownerOk = status.st_uid == 0 || status.st_uid == ::geteuid();
        const bool sharedSticky = !file && S_ISDIR(status.st_mode) && (status.st_mode & S_ISVTX);
        if (!ownerOk || ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !sharedSticky)) {
            char details[64];
            std::snprintf(details, sizeof details, "owner uid %u, mode %04o",
                          static_cast<unsigned>(status.st_uid),
                          static_cast<unsigned>(status.st_mode & 07777));
            throw std::runtime_error("bad owner or permissions on " + at + " (" + details +
                                     "): it must belong to root or to this user and be "
                                     "writable by no one else");
        }
        if (at == "/") {
            return;
        }
        const std::string::size_type slash = at.rfind('/');
        at = slash == 0 ? "/" : at.substr(0, slash);
    }
}

}  // namespace Host
}  // namespace Kol
