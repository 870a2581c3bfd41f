#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include <boost/shared_ptr.hpp>

#include "host/CHostOptions.h"

namespace Kol {
namespace Host {

class CHostBus;
class CHostLogger;
class CPluginModule;
class CRunReport;
class CSqliteStore;
class CStoreLock;

// One run of the host: loads the plug-in, takes the store's lock, opens the
// store (creating it only when asked),
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
    // do), 1 an operation or the request failed, 2 --seed-demo on a store
    // that holds logs, 3 the plug-in or the store is unusable or another run
    // holds the store's lock, 128 + the signal after SIGHUP, SIGINT or
    // SIGTERM. Never throws.
    int Run();

    // Records the signal and stops a running module by force: the mapper at
    // work ends after its current batch and the module writes its
    // interruption line. Any thread.
    void OnSignal(int signal);

private:
    struct Identity {
        std::string installationUuid;
        bool newInstallationUuid = false;  // to be kept in the store's settings
        std::array<std::uint16_t, 5> retention;
    };

    int RunChecked();
    // Takes the store's lock and opens the store; every check that can refuse
    // it comes before its first write. Returns 0, or the exit status after
    // the refusal was reported.
    int OpenStore(std::unique_ptr<CStoreLock>& lock, boost::shared_ptr<CSqliteStore>& store,
                  Identity& identity, CHostLogger& logger);
    // Reads the store's settings and refuses what cannot be used, before the
    // store's first write: throws std::invalid_argument with the whole message
    // and sets `refusal` to the exit status it calls for.
    void CheckStore(CSqliteStore& store, Identity& identity, int& refusal) const;
    // The installation UUID and retention periods: the command line's, else
    // the store's settings (a new UUID is to be kept there), else the
    // defaults; also checks max_event_logs_per_type when event logs are asked
    // for. Writes nothing; throws std::runtime_error or std::invalid_argument
    // for a bad setting.
    Identity ReadIdentity(CSqliteStore& store) const;
    void Seed(CSqliteStore& store, CHostLogger& logger);
    // Initialises and starts the module, sends the request, waits until the
    // module is idle or stopped by a signal, deletes it, reports.
    int RunRequest(CPluginModule& plugin, const boost::shared_ptr<CSqliteStore>& store,
                   const boost::shared_ptr<CHostLogger>& logger,
                   const boost::shared_ptr<CRunReport>& report, const Identity& identity);
    // Hands the request to the bus and waits until the module has queued it.
    void SendRequest(CHostBus& bus, CHostLogger& logger);
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
