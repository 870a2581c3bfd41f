#pragma once

#include <array>
#include <string>

#include <boost/shared_ptr.hpp>

#include "host/cli/CHostOptions.h"

namespace Kol {
namespace Host {

class CHostBus;
class CHostResourceProvider;
class CPluginModule;
class CRunOutput;
class CStopSignal;

// The module's life cycle in one run: initialised with its resources,
// started, sent the one cleanup request under the host's own user context
// (the system user), waited for until it is idle or stopped by a signal
// (with progress lines meanwhile), stopped and deleted, then the bus's
// subscriber dropped, on every way out.
//
// Used once, on the main thread.
class CModuleRun {
public:
    CModuleRun(const CHostOptions& options, const std::array<std::string, 3>& requestUuids,
               CRunOutput& output, CStopSignal& stop);

    CModuleRun(const CModuleRun&) = delete;
    CModuleRun& operator=(const CModuleRun&) = delete;

    // Returns kExitSucceeded, or kExitUnusable after the failure's message
    // (the module cannot be initialised, subscribes to no cleanup request,
    // cannot be started or take the request). Never throws.
    int Run(CPluginModule& plugin, CHostBus& bus,
            const boost::shared_ptr<CHostResourceProvider>& provider);

private:
    // Hands the request to the bus and waits until the module has queued it.
    void SendRequest(CHostBus& bus);
    // Asks the module to stop once idle until it does or a signal comes;
    // true when it stopped that way.
    bool WaitUntilIdle(CPluginModule& plugin);

    const CHostOptions& m_options;
    const std::array<std::string, 3>& m_requestUuids;
    CRunOutput& m_output;
    CStopSignal& m_stop;
};

}  // namespace Host
}  // namespace Kol
