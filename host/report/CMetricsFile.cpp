#include "host/report/CMetricsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace Kol {
namespace Host {

namespace {

// Far more than any metrics file of ours; a bigger one is not.
const std::size_t kMaxBytes = 1 << 20;
const mode_t kMode = 0644;

// Closes the descriptor and removes the temporary unless it was renamed.
struct Temporary {
    std::string path;
    int fd = -1;
    bool renamed = false;
    ~Temporary() {
        if (fd >= 0) {
            ::close(fd);
        }
        if (!renamed) {
            ::unlink(path.c_str());
        }
    }
};

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno != EINTR) {
            throw std::runtime_error(std::strerror(errno));
        }
        done += written > 0 ? static_cast<std::size_t>(written) : 0;
    }
}

}  // namespace

void CMetricsFile::Publish(const std::string& path, const CRunReport& report,
                           CMetricsWriter::Run run) {
    if (!run.historySuccess) {
        run.previousSuccess = ReadLastSuccess(path);
    }
    Replace(path, CMetricsWriter::Text(report, run));
}

boost::optional<double> CMetricsFile::ReadLastSuccess(const std::string& path) {
    // Never blocks on a FIFO, never reads through a symlink.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        return boost::none;
    }
    struct stat status {};
    std::string text;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::size_t>(status.st_size) <= kMaxBytes) {
        char buffer[8192];
        ssize_t got = 0;
        while (text.size() <= kMaxBytes && (got = ::read(fd, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return CMetricsWriter::LastSuccess(text);
}

void CMetricsFile::Replace(const std::string& path, const std::string& text) {
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    // Hidden, and without the .prom ending the collector reads.
    Temporary temporary;
    temporary.path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                     "." + path.substr(slash + 1) + ".XXXXXX";
    try {
        temporary.fd = ::mkostemp(&temporary.path[0], O_CLOEXEC);
        if (temporary.fd < 0) {
            temporary.renamed = true;  // nothing was made
            throw std::runtime_error(std::strerror(errno));
        }
        if (::fchmod(temporary.fd, kMode) != 0) {
            throw std::runtime_error(std::strerror(errno));
        }
        WriteAll(temporary.fd, text);
        const int synced = ::fsync(temporary.fd) == 0 ? 0 : errno;
        const int closed = ::close(temporary.fd) == 0 ? 0 : errno;
        temporary.fd = -1;
        if (synced != 0 || closed != 0) {
            throw std::runtime_error(std::strerror(synced != 0 ? synced : closed));
        }
        if (::rename(temporary.path.c_str(), path.c_str()) != 0) {
            throw std::runtime_error(std::strerror(errno));
        }
        temporary.renamed = true;
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("cannot write the metrics file " + path + ": " + e.what());
    }
    // The rename itself reaches the disk; a folder that cannot be flushed
    // still holds the new file.
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
}

}  // namespace Host
}  // namespace Kol
