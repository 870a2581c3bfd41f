#include "host/app/CHostApplication.h"

#include <chrono>
#include <ctime>
#include <sstream>
#include <stdexcept>

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>

#include "framework/module/LogLevel.h"
#include "host/app/CModuleRun.h"
#include "host/app/CRefusal.h"
#include "host/app/CRunHistory.h"
#include "host/cli/ExitStatus.h"
#include "host/demo/CDemoSeeder.h"
#include "host/kernel/CHostBus.h"
#include "host/kernel/CHostIdGenerator.h"
#include "host/kernel/CHostInstallConfiguration.h"
#include "host/kernel/CHostLogger.h"
#include "host/kernel/CHostResourceProvider.h"
#include "host/kernel/CHostServerConfiguration.h"
#include "host/kernel/CPluginModule.h"
#include "host/kernel/CStatusEventRecorder.h"
#include "host/kernel/CStoreDatabaseResource.h"
#include "host/report/CMetricsFile.h"
#include "host/report/CRunReport.h"
#include "host/store/CStoreFactory.h"
#include "host/store/CStoreFiles.h"

namespace Kol {
namespace Host {

using namespace Common;

const char* const CHostApplication::kModuleClass = "Kol::Cleanup::Agent::CCleanupModule";

CHostApplication::CHostApplication(const CHostOptions& options, std::ostream& out,
                                   std::ostream& err)
    : m_options(options),
      m_settings(m_options),
      m_err(err),
      m_output(m_options, out, err),
      m_forecast(options.dryRun ? boost::make_shared<CRemovalForecast>() : nullptr) {
    if (m_options.requestUuids) {
        m_requestUuids = *m_options.requestUuids;
    } else {
        for (std::string& uuid : m_requestUuids) {
            uuid = CRunSettings::NewUuid();
        }
    }
}

CHostApplication::~CHostApplication() = default;

void CHostApplication::OnSignal(int signal) {
    m_stop.Raise(signal);
}

int CHostApplication::Run() {
    int status = kExitUnusable;
    try {
        status = RunChecked();
    } catch (const std::exception& e) {
        status = m_output.Fail(e.what(), kExitUnusable);
    }
    return m_output.Finish(status, m_stop.Signal(), m_settings.StoreName(), m_requestUuids);
}

int CHostApplication::RunChecked() {
    // The plug-in comes first: when it is missing the store is not touched.
    std::unique_ptr<CPluginModule> plugin;
    if (!m_options.operations.empty()) {
        try {
            plugin.reset(new CPluginModule(m_options.module, kModuleClass));
        } catch (const std::exception& e) {
            return m_output.Fail(e.what(), kExitUnusable);
        }
    }
    // Kept open after the run for its row in the run history (End).
    boost::shared_ptr<IStore>& store = m_store;
    CRunSettings::Identity identity;
    const int refusal = OpenStore(store, identity);
    if (refusal != kExitSucceeded) {
        return refusal;
    }
    // The store outlives every way out of here; a signal no longer reaches
    // it once this is gone.
    struct Uncancel {
        CStopSignal& stop;
        ~Uncancel() { stop.SetCancel(nullptr); }
    } uncancel{m_stop};
    // The store's figures, on every way out while it is open; taken before
    // the cancel is cleared (destroyed in reverse order), so that a signal
    // still cuts their statements short.
    struct Census {
        CHostApplication& application;
        IStore& store;
        ~Census() { application.TakeCensus(store); }
    } census{*this, *store};
    m_output.Log("store " + m_settings.StoreName() + " open; installation " +
                 identity.installationUuid + ", kind " +
                 std::to_string(m_options.installationKind) + ", retention " +
                 CRunSettings::JoinDays(identity.retention) + " days" +
                 (m_options.dryRun ? "; dry run" : ""));
    for (const std::string& line : m_settings.Sources(identity, m_requestUuids)) {
        m_output.Logger()->Log(line, Module::Debug, "host");
    }
    if (m_options.seedRows) {
        Seed(*store);
    }
    if (m_stop.Raised()) {
        return m_stop.ExitStatus();
    }
    if (!plugin) {
        m_output.Log("no operation given: nothing else to do");
        return kExitSucceeded;
    }
    const auto recorder =
        boost::make_shared<CStatusEventRecorder>(store, m_output.Logger(), m_output.Report());
    const auto bus = boost::make_shared<CHostBus>(boost::bind(
        &CStatusEventRecorder::OnSent, recorder, boost::placeholders::_1, boost::placeholders::_2));
    CModuleRun module(m_options, m_requestUuids, m_output, m_stop);
    const int failure = module.Run(*plugin, *bus, BuildResources(store, bus, identity));
    if (failure != kExitSucceeded) {
        return failure;
    }
    if (m_stop.Raised()) {
        return m_stop.ExitStatus();
    }
    if (m_options.dryRun) {
        m_output.Log(
            "dry run: every batch was rolled back at once; each operation's figures are what "
            "it would remove and free on its own, so a row that two operations take counts in "
            "both; the total counts it once");
        Forecast(*store);
    }
    const bool reporting = m_options.installationKind == Kernel::InstallationKindReporting;
    return m_output.Report()->HasFailed(reporting) ? kExitFailed : kExitSucceeded;
}

int CHostApplication::OpenStore(boost::shared_ptr<IStore>& store,
                                CRunSettings::Identity& identity) {
    // Every check that can refuse the store comes before its first write.
    try {
        store = CStoreFactory::Open(m_settings.ForStore([this] { return m_stop.Raised(); }));
        IStore* const opened = store.get();
        m_stop.SetCancel([opened] { opened->Cancel(); });
        identity = m_settings.Check(*store);
        store->FinishOpening();
    } catch (const CRefusal& e) {
        return Refused(store, e.what(), e.Status());
    } catch (const std::exception& e) {
        return Refused(store, e.what(), kExitUnusable);
    }
    if (!store->GetOpenNote().empty()) {
        m_output.Log(store->GetOpenNote());
    }
    if (!m_options.dryRun) {
        if (const int stale = CStoreFiles::RemoveStaleTemporaries(store->GetBackupPath())) {
            m_output.Log("removed " + std::to_string(stale) +
                         " temporary files an earlier, stopped run left beside the backup");
        }
        if (identity.newInstallationUuid) {
            store->SetSetting("installation_uuid", identity.installationUuid);
        }
    }
    return kExitSucceeded;
}

int CHostApplication::Refused(boost::shared_ptr<IStore>& store, const std::string& message,
                              int status) {
    // Closed (and let go) before the refusal is told, like a store that could
    // not be opened at all.
    m_stop.SetCancel(nullptr);
    store.reset();
    return m_stop.Raised() ? m_stop.ExitStatus() : m_output.Fail(message, status);
}

void CHostApplication::TakeCensus(IStore& store) noexcept {
    if (m_options.metricsFile.empty()) {
        return;
    }
    try {
        m_census = CStoreCensus::Take(store, std::time(nullptr));
    } catch (const std::exception& e) {
        try {
            m_output.Logger()->Log(
                std::string("the metrics file has no store figures: ") + e.what(), Module::Warning,
                "host");
        } catch (const std::exception&) {
            // The metrics file goes without them either way.
        }
    }
}

void CHostApplication::Forecast(IStore& store) noexcept {
    try {
        m_output.SetForecast(m_forecast->Count(store));
    } catch (const std::exception& e) {
        try {
            m_output.Logger()->Log(std::string("the dry run's total is not known: ") + e.what(),
                                   Module::Warning, "host");
        } catch (const std::exception&) {
            // The summary goes without it either way.
        }
    }
}

void CHostApplication::End(int status) {
    if (m_store) {
        CRunHistory::Write(
            *m_store,
            CRunHistory::Record(m_options, *m_output.Report(), m_output.Failure(),
                                m_output.Start().tv_sec, m_output.End().tv_sec, status),
            *m_output.Logger());
        // A real run that succeeded is the last success itself, to the
        // nanosecond; any other run takes it from the history.
        if (!m_options.metricsFile.empty() && (status != kExitSucceeded || m_options.dryRun)) {
            m_historySuccess = CRunHistory::LastSuccess(*m_store);
        }
        m_store.reset();
    }
    WriteMetrics(status);
}

void CHostApplication::WriteMetrics(int status) {
    CMetricsWriter::Run run;
    run.start = m_output.Start();
    run.end = m_output.End();
    run.exitCode = status;
    run.store = m_census;
    if (m_historySuccess) {
        run.historySuccess = static_cast<double>(*m_historySuccess);
    }
    PublishMetrics(m_options, *m_output.Report(), run, m_err);
}

void CHostApplication::WriteMetrics(const CHostOptions& options, const std::timespec& start,
                                    int status, std::ostream& err) {
    CMetricsWriter::Run run;
    run.start = start;
    std::timespec_get(&run.end, TIME_UTC);
    run.exitCode = status;
    PublishMetrics(options, CRunReport(options.operations), run, err);
}

void CHostApplication::PublishMetrics(const CHostOptions& options, const CRunReport& report,
                                      const CMetricsWriter::Run& run, std::ostream& err) {
    if (options.metricsFile.empty()) {
        return;
    }
    try {
        CMetricsFile::Publish(options.metricsFile, report, run);
    } catch (const std::exception& e) {
        try {
            err << CHostLogger::ErrorPrefix(err)
                << "cleanup-agent: " << CHostLogger::Escape(e.what()) << std::endl;
        } catch (const std::exception&) {
            // Nowhere left to tell it.
        }
    }
}

void CHostApplication::Seed(IStore& store) {
    const auto start = std::chrono::steady_clock::now();
    CDemoSeeder seeder(store, 20240601);
    const CDemoSeeder::Counts counts =
        seeder.Seed(*m_options.seedRows, std::time(nullptr), [this] { return m_stop.Raised(); });
    std::ostringstream line;
    line.setf(std::ios::fixed);
    line.precision(3);
    line << "seeded " << counts.logs << " logs, " << counts.owners << " owners, " << counts.blobs
         << " log blobs and " << counts.orphanBlobs << " orphan blobs, " << counts.tombstones
         << " enrolment tombstones, " << counts.staticObjects << " static objects in "
         << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() << " s";
    m_output.Log(line.str());
}

boost::shared_ptr<CHostResourceProvider> CHostApplication::BuildResources(
    const boost::shared_ptr<IStore>& store, const boost::shared_ptr<CHostBus>& bus,
    const CRunSettings::Identity& identity) const {
    CStoreMapper::Context context;
    context.store = store;
    context.report = m_output.Report();
    context.logger = m_output.Logger();
    context.batchRows = m_options.batchRows;
    context.dryRun = m_options.dryRun;
    context.sizeLimits = m_options.sizeLimits;
    context.forecast = m_forecast;
    const CStopSignal& stop = m_stop;
    context.signalled = [&stop] { return stop.Raised(); };
    const auto provider = boost::make_shared<CHostResourceProvider>();
    provider->Add(Kernel::ResourceTypeBus, bus);
    provider->Add(Kernel::ResourceTypeInstallConfiguration,
                  boost::make_shared<CHostInstallConfiguration>(identity.installationUuid,
                                                                m_options.installationKind));
    provider->Add(Kernel::ResourceTypeLogger, m_output.Logger());
    provider->Add(Kernel::ResourceTypeIdGenerator, boost::make_shared<CHostIdGenerator>());
    provider->Add(Kernel::ResourceTypeDatabase,
                  boost::make_shared<CStoreDatabaseResource>(context));
    provider->Add(Kernel::ResourceTypeConfiguration,
                  boost::make_shared<CHostServerConfiguration>(identity.retention));
    return provider;
}

}  // namespace Host
}  // namespace Kol
