#pragma once

#include <chrono>
#include <string>

#include <boost/function.hpp>

namespace Kol {
namespace Host {

// One cleanup per store at a time: an exclusive flock on FILE.lock beside the
// store (see CStoreFiles), which holds the pid of the run that has it. The
// file is made anew (never opened through a symbolic link, never a FIFO);
// the holder that made it removes it when it lets go, one left by a killed
// run stays. A run that got the lock on a file removed meanwhile tries again
// on the new one. Take it only once the store is known to be ours: taking it
// writes the pid.
//
// Constructed and destroyed on one thread; the kernel drops the lock when the
// process ends in any way.
class CStoreLock {
public:
    // Returns true when waiting should end early (a signal came).
    typedef boost::function<bool()> StopCheck;

    // Takes the lock on `store` (its real path), trying for up to `wait`.
    // Throws std::runtime_error "another cleanup-agent (pid N) is cleaning
    // <store>" when another run keeps it, or with the system's reason.
    CStoreLock(const std::string& store, std::chrono::seconds wait, const StopCheck& stop);
    // Removes the lock file when this run made it, and lets go.
    ~CStoreLock();

    CStoreLock(const CStoreLock&) = delete;
    CStoreLock& operator=(const CStoreLock&) = delete;

private:
    // True when the lock is ours; otherwise fills `holder` with the pid text.
    bool TryOnce(std::string& holder);

    const std::string m_store;
    const std::string m_path;
    int m_fd;
    bool m_created;  // this run made the file, so it removes it
};

}  // namespace Host
}  // namespace Kol
