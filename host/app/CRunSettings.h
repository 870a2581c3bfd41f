#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <boost/function.hpp>

#include "host/cli/CHostOptions.h"
#include "host/store/StoreOptions.h"

namespace Kol {
namespace Host {

class IStore;

// The precedence of a run's settings: the command line's or the configuration
// file's value (CHostOptions), else the store's settings, else the built-in
// defaults; and how the store is to be opened.
//
// Stateless past construction; every call may come from any thread.
class CRunSettings {
public:
    // The settings the module is given, and where they came from (for -v).
    struct Identity {
        std::string installationUuid;
        bool newInstallationUuid = false;  // to be kept in the store's settings
        std::array<std::uint16_t, 5> retention;
        std::string uuidSource;
        std::string retentionSource;
    };

    explicit CRunSettings(const CHostOptions& options);

    // --db as logs and reports show it: a URI's password masked.
    const std::string& StoreName() const { return m_storeName; }

    // The store's options, with the one rule for making a store: asked for
    // (--create, or --seed-demo) and no dry run.
    StoreOptions ForStore(const boost::function<bool()>& stopWaiting) const;

    // Reads the store's settings and refuses what cannot be used; writes
    // nothing. Throws CRefusal: kExitUsage for --seed-demo on a store that
    // holds logs, kExitUnusable "cannot use store <name>: <reason>" for a bad
    // setting (also max_event_logs_per_type when event logs are asked for).
    Identity Check(IStore& store) const;

    // The lines -v logs: each effective value and where it came from.
    std::vector<std::string> Sources(const Identity& identity,
                                     const std::array<std::string, 3>& requestUuids) const;

    // A new random UUID in lower-case text.
    static std::string NewUuid();
    // "30,90,180,365,730".
    static std::string JoinDays(const std::array<std::uint16_t, 5>& days);

private:
    Identity Read(IStore& store) const;
    // Where an option came from, or `otherwise` when it was not given.
    std::string Given(const char* name, const std::string& otherwise) const;

    const CHostOptions& m_options;
    const std::string m_storeName;
};

}  // namespace Host
}  // namespace Kol
