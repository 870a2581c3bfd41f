#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <boost/optional.hpp>

#include "framework/module/LogLevel.h"
#include "host/store/SizeLimits.h"
#include "host/store/StoreOptions.h"

namespace Kol {
namespace Host {

// What the command line and the configuration file ask the host to do (see
// CCommandLine).
struct CHostOptions {
    enum class Output { kText, kJson };

    bool help = false;
    bool version = false;
    bool report = false;  // --report: describe the store, read only, and run nothing
    std::string db = "agent.db";
    std::string backup;             // the backup's path; empty: the store's real path + ".bak"
    bool create = false;            // make the store when it is absent
    std::uint32_t waitSeconds = 0;  // for another run's lock on the store
    std::string module;
    std::string config;  // the configuration file read, empty when none
    Output output = Output::kText;
    std::string metricsFile;  // written at the end of the run; empty: none
    std::int32_t installationKind = 1;
    boost::optional<std::string> installationUuid;  // canonical lower-case text
    boost::optional<std::array<std::uint16_t, 5>> retentionDays;
    std::int32_t logLevel = Common::Module::Information;
    boost::optional<std::array<std::string, 3>> requestUuids;  // canonical lower-case text
    bool dryRun = false;
    bool allowOtherOwner = false;  // PostgreSQL: tables owned by another role are used
    boost::optional<std::uint64_t> seedRows;
    std::size_t batchRows = StoreOptions::kDefaultBatchRows;
    SizeLimits sizeLimits;  // --max-size, --keep-free, --min-age
    // How long a statement waits for another writer, retrying with back-off.
    std::uint32_t busyTimeoutSeconds = 30;
    // PostgreSQL: how long one schema change waits for its lock per try.
    std::chrono::milliseconds lockTimeout = StoreOptions::kDefaultLockTimeout;
    // The SQLite VFS to open the store with; empty for the default one (only
    // a test build's fault injection sets it).
    std::string vfs;
    std::vector<std::int32_t> operations;
    // Where each option given came from, by long name: "command line" or
    // "configuration file FILE". Options not listed have their default.
    std::map<std::string, std::string> sources;
};

}  // namespace Host
}  // namespace Kol
