#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <boost/optional.hpp>

namespace Kol {
namespace Host {

// What the command line asks the host to do (see CCommandLine).
struct CHostOptions {
    bool help = false;
    std::string db = "agent.db";
    bool create = false;            // make the store when it is absent
    std::uint32_t waitSeconds = 0;  // for another run's lock on the store
    std::string module;
    std::int32_t installationKind = 1;
    boost::optional<std::string> installationUuid;  // canonical lower-case text
    boost::optional<std::array<std::uint16_t, 5>> retentionDays;
    std::int32_t logLevel = 2;
    boost::optional<std::array<std::string, 3>> requestUuids;  // canonical lower-case text
    bool dryRun = false;
    boost::optional<std::uint64_t> seedRows;
    std::size_t batchRows = 10000;
    // Fault injection: after `first` writes to the store's files the next
    // `second` fail as on a full disk (CWriteFaultVfs).
    boost::optional<std::pair<std::uint64_t, std::uint64_t>> writeFaults;
    std::vector<std::int32_t> operations;
};

}  // namespace Host
}  // namespace Kol
