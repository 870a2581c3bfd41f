#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "host/cli/CHostOptions.h"

namespace Kol {
namespace Host {

class CHostBus;
class CHostLogger;
class CHostResourceProvider;
class CPluginModule;
class CRunReport;
class IStore;
class CStoreLock;

// One run of the host: loads the plug-in, takes the store's lock, opens the
// store (creating it only when asked),
// seeds it if asked, gives the module its resources, sends one cleanup
// request under the host's own user context (the system user), waits until
// the module is idle, deletes the module and reports: the summary lines, or
// with --output json one JSON document on `out` at the end.
//
// Run is called once, on the main thread; OnSignal on the signal watcher's
// thread. Log lines go to `out` (to `err` with --output json), start-up
// failures to `err`.
class CHostApplication {
public:
    static const char* const kModuleClass;  // "Kol::Cleanup::Agent::CCleanupModule"

    CHostApplication(const CHostOptions& options, std::ostream& out, std::ostream& err);
    ~CHostApplication();

    CHostApplication(const CHostApplication&) = delete;
    CHostApplication& operator=(const CHostApplication&) = delete;

    // Returns the exit status (ExitStatus.h): 0 every operation succeeded (or
    // nothing to do), 1 an operation or the request failed, 2 --seed-demo on
    // a store that holds logs, 3 the plug-in or the store is unusable or
    // another run holds the store's lock, 128 + the signal after SIGHUP,
    // SIGINT or SIGTERM. Never throws.
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
        std::string uuidSource;  // where they came from, for -v
        std::string retentionSource;
    };

    int RunChecked();
    // Takes the store's lock and opens it, creating it only when asked;
    // returns 0, or the exit status of a refusal (after its message).
    int OpenStore(std::unique_ptr<CStoreLock>& lock, boost::shared_ptr<IStore>& store,
                  Identity& identity);
    // The same for a PostgreSQL URI: the store takes its own lock.
    int OpenServerStore(boost::shared_ptr<IStore>& store, Identity& identity);
    // The first writes of a run: stale backup temporaries, a new UUID.
    int AfterOpening(IStore& store, const Identity& identity);
    // --db as logs and reports show it: a URI's password masked.
    std::string StoreName() const;
    // Reads the store's settings and refuses what cannot be used, before the
    // store's first write: throws std::invalid_argument with the whole message
    // and sets `refusal` to the exit status it calls for.
    void CheckStore(IStore& store, Identity& identity, int& refusal) const;
    // The installation UUID and retention periods: the command line's or the
    // configuration file's, else
    // the store's settings (a new UUID is to be kept there), else the
    // defaults; also checks max_event_logs_per_type when event logs are asked
    // for. Writes nothing; throws std::runtime_error or std::invalid_argument
    // for a bad setting.
    Identity ReadIdentity(IStore& store) const;
    // With -v: each effective value and where it came from.
    void LogSources(const Identity& identity) const;
    void Seed(IStore& store);
    // The module's resources, over the store and the bus.
    boost::shared_ptr<CHostResourceProvider> BuildResources(const boost::shared_ptr<IStore>& store,
                                                            const boost::shared_ptr<CHostBus>& bus,
                                                            const Identity& identity) const;
    // Initialises and starts the module, sends the request, waits until the
    // module is idle or stopped by a signal (writing progress lines), deletes
    // it. Returns 0, or the exit status of a failure.
    int RunModule(CPluginModule& plugin, CHostBus& bus,
                  const boost::shared_ptr<CHostResourceProvider>& provider);
    // Hands the request to the bus and waits until the module has queued it.
    void SendRequest(CHostBus& bus);
    // A host line on the mapper at work, every kProgressEvery once it runs
    // longer than that.
    void ReportProgress(std::chrono::steady_clock::time_point& last) const;
    // Called for every record; adds the host's word on an operation the
    // module does not handle.
    void OnRecord(const std::string& text, std::int32_t level, const std::string& module);
    // The summary or the JSON document; returns `status`.
    int Finish(int status);
    int Fail(const std::string& message, int status);
    bool Signalled();
    int SignalStatus();

    const CHostOptions m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    std::array<std::string, 3> m_requestUuids;
    std::timespec m_start;
    boost::shared_ptr<CRunReport> m_report;
    boost::shared_ptr<CHostLogger> m_logger;
    bool m_requestSent = false;  // main thread only
    std::string m_failure;       // main thread only; why the run ended early
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_signal;              // guarded by m_mutex
    CPluginModule* m_running;  // guarded by m_mutex; the started module, not owned
};

}  // namespace Host
}  // namespace Kol
