#pragma once

#include <cstdint>
#include <string>

#include <boost/function.hpp>

namespace Kol {
namespace Host {

// A backup written under a temporary name beside its target, which replaces
// the target only once it is complete and verified: the temporary file is
// synced, renamed over the target, and the folder synced, so that after a
// crash either the previous backup or the whole new one is there. The
// temporary file (and what SQLite may have left beside it) goes with this
// object unless committed: on a failure, an interruption, an exception.
//
// Every descriptor opened here is close-on-exec (a tool the backup starts
// inherits none). Belongs to the thread that made it.
class CBackupCommit {
public:
    // Creates "<target>.tmp-XXXXXX" (six random characters) with the mode
    // bits and, as root, the owner of the file `model`; with no such file
    // (or an empty `model`) readable by its owner only. Throws
    // std::runtime_error "cannot create <temporary>: <reason>".
    CBackupCommit(const std::string& target, const std::string& model);
    // Removes the temporary file unless committed. Never throws.
    ~CBackupCommit();

    CBackupCommit(const CBackupCommit&) = delete;
    CBackupCommit& operator=(const CBackupCommit&) = delete;

    const std::string& GetTemporary() const { return m_temporary; }

    // Syncs the temporary file, runs `lastCheck` (which may throw to keep the
    // previous backup), renames the file over the target and syncs the
    // folder. Returns the target's size in bytes. Throws std::runtime_error
    // "cannot sync <path>: <reason>", "cannot rename <temporary>: <reason>".
    std::int64_t Commit(const boost::function<void()>& lastCheck = boost::function<void()>());

private:
    const std::string m_target;
    std::string m_temporary;
    bool m_committed;
};

}  // namespace Host
}  // namespace Kol
