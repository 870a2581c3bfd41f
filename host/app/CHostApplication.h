#pragma once

#include <array>
#include <memory>
#include <ostream>
#include <string>

#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>

#include "host/app/CRunOutput.h"
#include "host/app/CRunSettings.h"
#include "host/app/CStopSignal.h"
#include "host/cli/CHostOptions.h"
#include "host/report/CMetricsWriter.h"
#include "host/store/CStoreCensus.h"

namespace Kol {
namespace Host {

class CHostBus;
class CHostResourceProvider;
class CRunReport;
class IStore;

// One run of the host, in this order: loads the plug-in, opens the store
// (the store's lock, the checks, then its first writes; creating it only
// when asked), seeds it if asked, gives the module its resources and runs it
// (CModuleRun), and reports (CRunOutput): the summary lines, or with
// --output json one JSON document on `out` at the end. Then, with
// --metrics-file, WriteMetrics writes the metrics file (CMetricsFile), with the
// store's figures taken while it was still open. The store stays open after
// Run until End has written the run's row in the run history.
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

    // The end of a run that ended with `status` (Run's, or what the program
    // finally exits with): when the store was opened, its row in the run
    // history (CRunHistory; a failure is one warning line), then the store
    // closes (and lets go of its lock); then with --metrics-file the metrics
    // file (a failure is one line on `err`). Call once after Run, on the
    // main thread, also after a signal; never throws.
    void End(int status);
    // The metrics file of a run that ended before an application could be
    // made or run: no operation ran and no store was open.
    static void WriteMetrics(const CHostOptions& options, const std::timespec& start, int status,
                             std::ostream& err);

    // Records the signal and stops a running module by force: the mapper at
    // work ends after its current batch and the module writes its
    // interruption line. Any thread.
    void OnSignal(int signal);

private:
    // With --metrics-file, writes the metrics file of this run.
    void WriteMetrics(int status);
    int RunChecked();
    // Opens the store in its two steps with the settings checks between
    // them, so that nothing is written before every check that can refuse;
    // then the run's first writes (stale backup temporaries, a new UUID).
    // Returns 0, or the exit status of a refusal after its message.
    int OpenStore(boost::shared_ptr<IStore>& store, CRunSettings::Identity& identity);
    // Drops the store and returns the exit status: the signal's when one
    // came, else `status` after the message.
    int Refused(boost::shared_ptr<IStore>& store, const std::string& message, int status);
    void Seed(IStore& store);
    // The store's figures for the metrics file (none asked for: nothing);
    // a store that cannot tell them gets a warning. Never throws.
    void TakeCensus(IStore& store) noexcept;
    // A dry run's total for the summary, counted over what the mappers
    // recorded; a store that cannot count it gets a warning. Never throws.
    void Forecast(IStore& store) noexcept;
    static void PublishMetrics(const CHostOptions& options, const CRunReport& report,
                               const CMetricsWriter::Run& run, std::ostream& err);
    // The module's resources, over the store and the bus.
    boost::shared_ptr<CHostResourceProvider> BuildResources(
        const boost::shared_ptr<IStore>& store, const boost::shared_ptr<CHostBus>& bus,
        const CRunSettings::Identity& identity) const;

    const CHostOptions m_options;
    const CRunSettings m_settings;
    std::array<std::string, 3> m_requestUuids;
    std::ostream& m_err;
    CRunOutput m_output;
    CStopSignal m_stop;
    boost::optional<CStoreCensus::Figures> m_census;  // the store at the end, when one was open
    boost::shared_ptr<IStore> m_store;                // from opening to End
    boost::optional<std::int64_t> m_historySuccess;   // CRunHistory::LastSuccess, for the metrics
    // A dry run's record of what its request would remove; null otherwise.
    const boost::shared_ptr<CRemovalForecast> m_forecast;
};

}  // namespace Host
}  // namespace Kol
