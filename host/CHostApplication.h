#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

#include "host/CHostOptions.h"

namespace Kol {
namespace Host {

class CPluginModule;
class CSqliteStore;

// One run of the host: loads the plug-in, opens (and creates) the store,
// seeds it if asked, gives the module its resources, sends one cleanup
// request under the host's own user context (the system user), waits until
// the module is idle, deletes the module and prints the summary.
//
// Run is called once, on the main thread; OnSignal on the signal watcher's
// thread. Log lines go to `out`, start-up failures to `err`.
class CHostApplication {
public:
    static const char* const kModuleClass;  // "Kol::Cleanup::Agent::CCleanupModule"

    CHostApplication(const CHostOptions& options, std::ostream& out, std::ostream& err);
    ~CHostApplication();

    CHostApplication(const CHostApplication&) = delete;
    CHostApplication& operator=(const CHostApplication&) = delete;

    // Returns the exit status: 0 every operation succeeded (or nothing to
    // do), 1 an operation or the request failed, 3 the plug-in or the store
    // is unusable, 130 or 143 after SIGINT or SIGTERM. Never throws.
    int Run();

    // Records the signal and stops a running module by force: the mapper at
    // work ends after its current batch and the module writes its
    // interruption line. Any thread.
    void OnSignal(int signal);

private:
    int RunChecked();
    int Fail(const std::string& message, int status);
    bool Signalled();
    int SignalStatus();

    const CHostOptions m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_signal;              // guarded by m_mutex
    CPluginModule* m_running;  // guarded by m_mutex; the started module, not owned
};

}  // namespace Host
}  // namespace Kol
