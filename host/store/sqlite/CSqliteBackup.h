#pragma once

#include <cstdint>
#include <string>

#include <boost/optional.hpp>

#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

class CSqliteStore;

// The SQLite store's backup: a consistent, verified copy of the store at its
// backup path. The copy is made with SQLite's online backup, inside one read
// transaction of the store, into a new "<backup>.tmp-XXXXXX" with the store's
// mode and owner; so it holds exactly the snapshot taken when it began and
// finishes in time proportional to the store's size whatever other writers
// do. The copy is then opened on its own and checked with quick_check and
// its count of logs, and committed over the previous backup (CBackupCommit),
// which is therefore replaced only by a complete, verified copy, and never
// from a damaged store. Afterwards the write-ahead log that grew meanwhile is
// truncated when no reader holds it. In a dry run only the store itself is
// checked and nothing is written.
//
// Runs on the store's thread; throws std::runtime_error "backup to <file>
// failed: <reason>" (the temporary files are removed, the previous backup
// stays); stops between copy steps when the thread is asked to interrupt,
// leaving the previous backup in place.
class CSqliteBackup {
public:
    explicit CSqliteBackup(CSqliteStore& store);

    IStoreMaintenance::Result Write();

    // The installation UUID (the setting installation_uuid) an existing
    // backup at `path` holds; none when it holds none or cannot be read.
    // Reads only, on a connection of its own. Any thread.
    static boost::optional<std::string> InstallationOf(const std::string& path);

private:
    // Copies the store into `temporary` and sets `logs` to the logs of the
    // snapshot copied. Returns false when interrupted.
    bool WriteCopy(const std::string& temporary, std::int64_t& logs);
    // Throws when the copy fails quick_check or does not hold `logs` logs.
    static void VerifyCopy(const std::string& temporary, std::int64_t logs);

    CSqliteStore& m_store;
};

}  // namespace Host
}  // namespace Kol
