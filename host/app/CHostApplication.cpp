#include "host/app/CHostApplication.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <sstream>
#include <stdexcept>

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include "contracts/datadefinition/Cleanup.pb.h"
#include "contracts/message/CCleanupLogs.h"
#include "framework/module/LogLevel.h"
#include "framework/security/CSystemUser.h"
#include "framework/security/CUserContext.h"
#include "host/app/CSignalWatcher.h"
#include "host/app/ExitStatus.h"
#include "host/cli/CCommandLine.h"
#include "host/cli/COperationCatalog.h"
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
#include "host/mappers/CEventLogsMapper.h"
#include "host/report/CModuleLineReader.h"
#include "host/report/CResultWriter.h"
#include "host/report/CRunReport.h"
#include "host/store/CStoreFiles.h"
#include "host/store/postgres/CPostgresStore.h"
#include "host/store/sqlite/CSqliteStore.h"
#include "host/store/sqlite/CStoreLock.h"

namespace Kol {
namespace Host {

using namespace Common;
using Module::Debug;
using Module::Error;
using Module::Information;
using Module::Warning;

const char* const CHostApplication::kModuleClass = "Kol::Cleanup::Agent::CCleanupModule";

namespace {

const char* const kHost = "host";
const char* const kModuleName = "CCleanupModule";
const std::array<std::uint16_t, 5> kDefaultRetention = {30, 90, 180, 365, 730};
// How long the bus may take to hand the request over (OnMessage only queues).
const std::chrono::milliseconds kDeliveryTimeout(30000);
// How often the host asks an idle-looking module to stop.
const std::chrono::milliseconds kStopPoll(20);
// How often a long mapper call gets a progress line.
const std::chrono::seconds kProgressEvery(2);

std::string RandomUuid() {
    static boost::uuids::random_generator generate;
    return boost::uuids::to_string(generate());
}

DataDefinition::Common::Uuid MakeUuid(const std::string& text) {
    DataDefinition::Common::Uuid uuid;
    uuid.set_uuid(text);
    return uuid;
}

std::string JoinDays(const std::array<std::uint16_t, 5>& days) {
    std::string text;
    for (const std::uint16_t day : days) {
        text += (text.empty() ? "" : ",") + std::to_string(day);
    }
    return text;
}

std::timespec Now() {
    std::timespec now{};
    std::timespec_get(&now, TIME_UTC);
    return now;
}

}  // namespace

CHostApplication::CHostApplication(const CHostOptions& options, std::ostream& out,
                                   std::ostream& err)
    : m_options(options),
      m_out(out),
      m_err(err),
      m_start(Now()),
      m_report(boost::make_shared<CRunReport>(options.operations)),
      m_signal(0),
      m_running(nullptr) {
    if (m_options.requestUuids) {
        m_requestUuids = *m_options.requestUuids;
    } else {
        for (std::string& uuid : m_requestUuids) {
            uuid = RandomUuid();
        }
    }
    // With JSON on standard output the log lines go to standard error.
    m_logger = boost::make_shared<CHostLogger>(
        m_options.output == CHostOptions::Output::kJson ? err : out, m_options.logLevel,
        [this](const std::string& text, std::int32_t level, const std::string& module) {
            OnRecord(text, level, module);
        });
}

CHostApplication::~CHostApplication() = default;

void CHostApplication::OnSignal(int signal) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_signal == 0) {
        m_signal = signal;
    }
    if (m_running != nullptr) {
        try {
            m_running->Stop(true);
        } catch (const std::exception&) {
            // The main thread stops it again and reports.
        }
    }
    m_wake.notify_all();
}

bool CHostApplication::Signalled() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_signal != 0;
}

int CHostApplication::SignalStatus() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_signal == 0 ? kExitSucceeded : kExitSignalBase + m_signal;
}

int CHostApplication::Fail(const std::string& message, int status) {
    m_failure = message;
    // Escaped like every log line: a file name cannot forge a second record.
    m_err << CHostLogger::ErrorPrefix(m_err) << "cleanup-agent: " << CHostLogger::Escape(message)
          << std::endl;
    return status;
}

void CHostApplication::OnRecord(const std::string& text, std::int32_t level,
                                const std::string& module) {
    if (module != kModuleName) {
        return;
    }
    if (const boost::optional<std::int32_t> rejected =
            CModuleLineReader(*m_report).Read(text, level)) {
        m_logger->Log(COperationCatalog::NameOf(*rejected) + ": this module does not handle " +
                          "operation " + std::to_string(*rejected) +
                          " (see the operations in cleanup-agent --help)",
                      Error, kHost);
    }
}

int CHostApplication::Run() {
    int status = kExitUnusable;
    try {
        status = RunChecked();
    } catch (const std::exception& e) {
        status = Fail(e.what(), kExitUnusable);
    }
    return Finish(status);
}

int CHostApplication::Finish(int status) {
    int signal = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        signal = m_signal;
    }
    CResultWriter::Run run;
    run.version = CLEANUP_AGENT_VERSION;
    run.store = StoreName();
    run.start = m_start;
    run.end = Now();
    run.dryRun = m_options.dryRun;
    run.requestUuids = m_requestUuids;
    run.statusEventsExpected = m_options.installationKind == Kernel::InstallationKindReporting;
    run.signal = signal != 0 ? CSignalWatcher::Name(signal) : "";
    run.failure = m_failure;
    run.exitCode = status;
    m_report->MarkNotRun(signal != 0          ? "interrupted by " + run.signal
                         : !m_failure.empty() ? "the run ended before it: " + m_failure
                                              : "the module did not reach it");
    if (m_options.output == CHostOptions::Output::kJson) {
        m_out << CResultWriter::Json(*m_report, run) << std::flush;
    } else if (m_requestSent) {
        const bool calm = status == kExitSucceeded;
        for (const std::string& line : CResultWriter::Summary(*m_report, run)) {
            m_logger->Log(line, calm ? Information : Warning, kHost);
        }
    }
    return status;
}

int CHostApplication::RunChecked() {
    // The plug-in comes first: when it is missing the store is not touched.
    std::unique_ptr<CPluginModule> plugin;
    if (!m_options.operations.empty()) {
        try {
            plugin.reset(new CPluginModule(m_options.module, kModuleClass));
        } catch (const std::exception& e) {
            return Fail(e.what(), kExitUnusable);
        }
    }
    std::unique_ptr<CStoreLock> lock;
    boost::shared_ptr<IStore> store;
    Identity identity;
    const int refusal = CPostgresStore::IsUri(m_options.db) ? OpenServerStore(store, identity)
                                                            : OpenStore(lock, store, identity);
    if (refusal != kExitSucceeded) {
        return refusal;
    }
    m_logger->Log("store " + StoreName() + " open; installation " + identity.installationUuid +
                      ", kind " + std::to_string(m_options.installationKind) + ", retention " +
                      JoinDays(identity.retention) + " days" +
                      (m_options.dryRun ? "; dry run" : ""),
                  Information, kHost);
    LogSources(identity);

    if (m_options.seedRows) {
        Seed(*store);
    }
    if (Signalled()) {
        return SignalStatus();
    }
    if (!plugin) {
        m_logger->Log("no operation given: nothing else to do", Information, kHost);
        return kExitSucceeded;
    }
    const auto recorder = boost::make_shared<CStatusEventRecorder>(store, m_logger, m_report);
    const auto bus = boost::make_shared<CHostBus>(boost::bind(
        &CStatusEventRecorder::OnSent, recorder, boost::placeholders::_1, boost::placeholders::_2));
    const int failure = RunModule(*plugin, *bus, BuildResources(store, bus, identity));
    if (failure != kExitSucceeded) {
        return failure;
    }
    if (m_options.dryRun) {
        m_logger->Log(
            "dry run: every batch was rolled back at once; each operation's figures are what "
            "it would remove and free on its own",
            Information, kHost);
    }
    const int signal = SignalStatus();
    if (signal != kExitSucceeded) {
        return signal;
    }
    return m_report->HasFailed(m_options.installationKind == Kernel::InstallationKindReporting)
               ? kExitFailed
               : kExitSucceeded;
}

std::string CHostApplication::StoreName() const {
    return CPostgresStore::IsUri(m_options.db) ? CPostgresStore::MaskPassword(m_options.db)
                                               : m_options.db;
}

int CHostApplication::OpenServerStore(boost::shared_ptr<IStore>& store, Identity& identity) {
    std::string backup;
    try {
        if (!m_options.backup.empty()) {
            backup = CStoreFiles::RealPath(m_options.backup);
        }
    } catch (const std::exception& e) {
        return Fail(e.what(), kExitUnusable);
    }
    int refusal = kExitUnusable;
    try {
        CPostgresStore::Options options;
        options.create = (m_options.create || m_options.seedRows) && !m_options.dryRun;
        options.dryRun = m_options.dryRun;
        options.backupPath = backup;
        options.wait = std::chrono::seconds(m_options.waitSeconds);
        options.stopWaiting = [this] { return Signalled(); };
        options.beforeFirstWrite = [this, &identity, &refusal](CPostgresStore& opened) {
            CheckStore(opened, identity, refusal);
        };
        store = boost::make_shared<CPostgresStore>(m_options.db, options);
    } catch (const std::exception& e) {
        return Signalled() ? SignalStatus() : Fail(e.what(), refusal);
    }
    return AfterOpening(*store, identity);
}

int CHostApplication::AfterOpening(IStore& store, const Identity& identity) {
    if (!store.GetOpenNote().empty()) {
        m_logger->Log(store.GetOpenNote(), Information, kHost);
    }
    if (!m_options.dryRun) {
        if (const int stale = CStoreFiles::RemoveStaleTemporaries(store.GetBackupPath())) {
            m_logger->Log("removed " + std::to_string(stale) +
                              " temporary files an earlier, stopped run left beside the backup",
                          Information, kHost);
        }
        if (identity.newInstallationUuid) {
            store.SetSetting("installation_uuid", identity.installationUuid);
        }
    }
    return kExitSucceeded;
}

int CHostApplication::OpenStore(std::unique_ptr<CStoreLock>& lock, boost::shared_ptr<IStore>& store,
                                Identity& identity) {
    // Every check that can refuse the store comes before its first write.
    std::string path;
    std::string backup;
    try {
        path = CStoreFiles::RealPath(m_options.db);
        backup = CStoreFiles::BackupPath(path);
        if (!m_options.backup.empty()) {
            backup = CStoreFiles::RealPath(m_options.backup);
            CStoreFiles::CheckChosenBackup(path, backup);
        }
    } catch (const std::exception& e) {
        return Fail(e.what(), kExitUnusable);
    }
    const bool create = (m_options.create || m_options.seedRows) && !m_options.dryRun;
    const bool existed = CStoreFiles::Exists(path);  // the lock waits for its checks
    if (!existed && !create) {
        return Fail(
            "no store at " + m_options.db +
                (m_options.dryRun ? " (a dry run creates none)" : " (use --create to make one)"),
            kExitUnusable);
    }
    const auto takeLock = [this, &lock, &path](bool now) {
        try {
            lock.reset(now ? new CStoreLock(path, std::chrono::seconds(m_options.waitSeconds),
                                            [this] { return Signalled(); })
                           : lock.release());  // not yet: kept as it is
        } catch (const std::runtime_error& e) {
            throw std::invalid_argument(e.what());
        }
    };
    int refusal = kExitUnusable;
    try {
        takeLock(!existed);
        CSqliteStore::Options options;
        options.vfs = m_options.vfs;
        options.create = create;
        options.dryRun = m_options.dryRun;
        options.busyTimeout = std::chrono::seconds(m_options.busyTimeoutSeconds);
        options.backupPath = backup;
        options.beforeFirstWrite = [&](CSqliteStore& opened) {
            CheckStore(opened, identity, refusal);
            takeLock(existed);
        };
        store = boost::make_shared<CSqliteStore>(path, options);
    } catch (const std::exception& e) {
        return Signalled() ? SignalStatus() : Fail(e.what(), refusal);
    }
    return AfterOpening(*store, identity);
}

void CHostApplication::CheckStore(IStore& store, Identity& identity, int& refusal) const {
    try {
        identity = ReadIdentity(store);
    } catch (const std::exception& e) {
        throw std::invalid_argument("cannot use store " + StoreName() + ": " + e.what());
    }
    if (m_options.seedRows && store.HasTable("logs")) {
        const std::int64_t logs = store.QueryInt64("SELECT count(*) FROM logs");
        if (logs > 0) {
            refusal = kExitUsage;
            throw std::invalid_argument("--seed-demo: " + StoreName() + " already holds " +
                                        std::to_string(logs) +
                                        " logs; seed only a new or empty store");
        }
    }
}

CHostApplication::Identity CHostApplication::ReadIdentity(IStore& store) const {
    Identity identity;
    identity.retention = kDefaultRetention;
    const bool hasSettings = store.HasTable("settings");
    auto setting = [&store, hasSettings](const std::string& key) {
        return hasSettings ? store.GetSetting(key) : boost::optional<std::string>();
    };
    const std::vector<std::int32_t>& operations = m_options.operations;
    if (std::find(operations.begin(), operations.end(), DataDefinition::Cleanup::EVENT_LOGS) !=
        operations.end()) {
        CEventLogsMapper::ParseKeepCount(setting("max_event_logs_per_type"));
    }
    const auto given = [this](const char* name) {
        const auto source = m_options.sources.find(name);
        return source != m_options.sources.end() ? source->second : std::string();
    };
    identity.uuidSource = given("installation-uuid");
    identity.retentionSource = given("retention");
    if (m_options.installationUuid) {
        identity.installationUuid = *m_options.installationUuid;
    } else if (const boost::optional<std::string> kept = setting("installation_uuid")) {
        identity.installationUuid =
            CCommandLine::NormalizeUuid(*kept, "store setting installation_uuid");
        identity.uuidSource = "store setting installation_uuid";
    } else {
        identity.installationUuid = RandomUuid();
        identity.newInstallationUuid = true;
        identity.uuidSource = m_options.dryRun ? "new, not kept: dry run"
                                               : "new, kept in store setting installation_uuid";
    }
    if (m_options.retentionDays) {
        identity.retention = *m_options.retentionDays;
        return identity;
    }
    std::string settings;
    std::size_t found = 0;
    for (std::size_t k = 0; k < identity.retention.size(); ++k) {
        const std::string key = "retention_days_" + std::to_string(k + 1);
        if (const boost::optional<std::string> days = setting(key)) {
            identity.retention[k] = CCommandLine::ParseDays(*days, "store setting " + key);
            settings += (settings.empty() ? "" : ", ") + key;
            ++found;
        }
    }
    identity.retentionSource = found == 0 ? "built-in default"
                               : found == identity.retention.size()
                                   ? "store settings " + settings
                                   : "store settings " + settings + ", else built-in default";
    return identity;
}

void CHostApplication::LogSources(const Identity& identity) const {
    const auto source = [this](const char* name) {
        const auto given = m_options.sources.find(name);
        return given != m_options.sources.end() ? given->second : std::string("built-in default");
    };
    const struct {
        const char* name;
        std::string value;
        std::string source;
    } values[] = {
        {"db", StoreName(), source("db")},
        {"module", m_options.module, source("module")},
        {"output", m_options.output == CHostOptions::Output::kJson ? "json" : "text",
         source("output")},
        {"log-level", std::to_string(m_options.logLevel), source("log-level")},
        {"dry-run", m_options.dryRun ? "true" : "false", source("dry-run")},
        {"installation-kind", std::to_string(m_options.installationKind),
         source("installation-kind")},
        {"installation-uuid", identity.installationUuid, identity.uuidSource},
        {"retention", JoinDays(identity.retention), identity.retentionSource},
        {"request", m_requestUuids[0] + "," + m_requestUuids[1] + "," + m_requestUuids[2],
         m_options.requestUuids ? source("request") : "random"},
        {"batch-rows", std::to_string(m_options.batchRows), source("batch-rows")},
    };
    m_logger->Log("configuration file: " +
                      (m_options.config.empty() ? std::string("none") : m_options.config),
                  Debug, kHost);
    for (const auto& value : values) {
        m_logger->Log(
            std::string("--") + value.name + " " + value.value + " (" + value.source + ")", Debug,
            kHost);
    }
}

void CHostApplication::Seed(IStore& store) {
    const auto start = std::chrono::steady_clock::now();
    CDemoSeeder seeder(store, 20240601);
    const CDemoSeeder::Counts counts =
        seeder.Seed(*m_options.seedRows, std::time(nullptr), [this] { return Signalled(); });
    std::ostringstream line;
    line.setf(std::ios::fixed);
    line.precision(3);
    line << "seeded " << counts.logs << " logs, " << counts.owners << " owners, " << counts.blobs
         << " log blobs and " << counts.orphanBlobs << " orphan blobs, " << counts.tombstones
         << " enrolment tombstones, " << counts.staticObjects << " static objects in "
         << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() << " s";
    m_logger->Log(line.str(), Information, kHost);
}

boost::shared_ptr<CHostResourceProvider> CHostApplication::BuildResources(
    const boost::shared_ptr<IStore>& store, const boost::shared_ptr<CHostBus>& bus,
    const Identity& identity) const {
    CStoreMapper::Context context;
    context.store = store;
    context.report = m_report;
    context.logger = m_logger;
    context.batchRows = m_options.batchRows;
    context.dryRun = m_options.dryRun;
    const auto provider = boost::make_shared<CHostResourceProvider>();
    provider->Add(Kernel::ResourceTypeBus, bus);
    provider->Add(Kernel::ResourceTypeInstallConfiguration,
                  boost::make_shared<CHostInstallConfiguration>(identity.installationUuid,
                                                                m_options.installationKind));
    provider->Add(Kernel::ResourceTypeLogger, m_logger);
    provider->Add(Kernel::ResourceTypeIdGenerator, boost::make_shared<CHostIdGenerator>());
    provider->Add(Kernel::ResourceTypeDatabase,
                  boost::make_shared<CStoreDatabaseResource>(context));
    provider->Add(Kernel::ResourceTypeConfiguration,
                  boost::make_shared<CHostServerConfiguration>(identity.retention));
    return provider;
}

int CHostApplication::RunModule(CPluginModule& plugin, CHostBus& bus,
                                const boost::shared_ptr<CHostResourceProvider>& provider) {
    // On every way out: the module deleted, then the bus's subscriber, then the library.
    struct Teardown {
        CHostApplication& app;
        CPluginModule& plugin;
        CHostBus& bus;
        bool stopped;
        ~Teardown() {
            {
                std::lock_guard<std::mutex> lock(app.m_mutex);
                app.m_running = nullptr;
            }
            if (!stopped) {
                plugin.Stop(true);
            }
            plugin.Destroy();
            bus.DropSubscribers();
        }
    };
    std::unique_ptr<Teardown> teardown(new Teardown{*this, plugin, bus, false});

    try {
        plugin.Initialize(provider);
    } catch (const std::exception& e) {
        return Fail(std::string("cannot initialise the module: ") + e.what(), kExitUnusable);
    }
    if (bus.CountSubscribers(Kernel::MessageTypeCleanupLogs) == 0) {
        return Fail("the module did not subscribe to cleanup requests (message type 2)",
                    kExitUnusable);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = &plugin;
    }
    try {
        plugin.Start();
        if (!Signalled()) {
            SendRequest(bus);
        }
    } catch (const std::exception& e) {
        return Fail(std::string("cannot start the module or deliver the request: ") + e.what(),
                    kExitUnusable);
    }

    // Once OnMessage has returned the request is queued, so a graceful stop
    // succeeds only after the module has taken and finished it.
    plugin.RequestStop();
    auto lastProgress = std::chrono::steady_clock::now();
    while (!Signalled()) {
        if (plugin.Stop(false)) {
            teardown->stopped = true;
            break;
        }
        ReportProgress(lastProgress);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, kStopPoll, [this] { return m_signal != 0; });
    }
    teardown.reset();
    m_logger->Log("module stopped and deleted", Information, kHost);
    return kExitSucceeded;
}

void CHostApplication::ReportProgress(std::chrono::steady_clock::time_point& last) const {
    const boost::optional<CRunReport::RunningCall> running = m_report->GetRunningCall();
    const auto now = std::chrono::steady_clock::now();
    if (!running || now - running->start < kProgressEvery || now - last < kProgressEvery) {
        return;
    }
    last = now;
    const double elapsed = std::chrono::duration<double>(now - running->start).count();
    char line[160];
    std::snprintf(line, sizeof line, "%s: %s %llu rows so far, %.0f rows/s, %.1f s elapsed",
                  running->label.c_str(), m_options.dryRun ? "would remove" : "removed",
                  static_cast<unsigned long long>(running->rows),
                  static_cast<double>(running->rows) / elapsed, elapsed);
    m_logger->Log(line, Information, kHost);
}

void CHostApplication::SendRequest(CHostBus& bus) {
    const auto request = boost::make_shared<Message::Cleanup::CCleanupLogs>();
    request->SetFirstRequestUuid(MakeUuid(m_requestUuids[0]));
    request->SetSecondRequestUuid(MakeUuid(m_requestUuids[1]));
    request->SetThirdRequestUuid(MakeUuid(m_requestUuids[2]));
    request->SetOperations(m_options.operations);
    request->SetReadOnly();
    const auto userContext =
        boost::make_shared<Security::CUserContext>(boost::make_shared<Security::CSystemUser>());
    m_logger->Log("sending cleanup request " + m_requestUuids[0] + " with operations " +
                      COperationCatalog::NamesOf(m_options.operations),
                  Information, kHost);
    m_requestSent = true;
    bus.Deliver(request, userContext, kDeliveryTimeout);
}

}  // namespace Host
}  // namespace Kol
