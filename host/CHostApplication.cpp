#include "host/CHostApplication.h"

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
#include "framework/security/CSystemUser.h"
#include "framework/security/CUserContext.h"
#include "host/CCommandLine.h"
#include "host/CDemoSeeder.h"
#include "host/CEventLogsMapper.h"
#include "host/CHostBus.h"
#include "host/CHostIdGenerator.h"
#include "host/CHostInstallConfiguration.h"
#include "host/CHostLogger.h"
#include "host/CHostResourceProvider.h"
#include "host/CHostServerConfiguration.h"
#include "host/CPluginModule.h"
#include "host/CRunReport.h"
#include "host/CSqliteDatabaseResource.h"
#include "host/CSqliteStore.h"
#include "host/CStatusEventRecorder.h"
#include "host/CStoreFiles.h"
#include "host/CStoreLock.h"
#include "host/CWriteFaultVfs.h"

namespace Kol {
namespace Host {

using namespace Common;

const char* const CHostApplication::kModuleClass = "Kol::Cleanup::Agent::CCleanupModule";

namespace {

const char* const kHost = "host";
const std::int32_t kInfo = 2;
const std::int32_t kWarning = 3;
const std::array<std::uint16_t, 5> kDefaultRetention = {30, 90, 180, 365, 730};
// How long the bus may take to hand the request over (OnMessage only queues).
const std::chrono::milliseconds kDeliveryTimeout(30000);
// How often the host asks an idle-looking module to stop.
const std::chrono::milliseconds kStopPoll(20);

std::string RandomUuid() {
    static boost::uuids::random_generator generate;
    return boost::uuids::to_string(generate());
}

DataDefinition::Common::Uuid MakeUuid(const std::string& text) {
    DataDefinition::Common::Uuid uuid;
    uuid.set_uuid(text);
    return uuid;
}

std::string OperationNames(const std::vector<std::int32_t>& operations) {
    std::string names;
    for (const std::int32_t operation : operations) {
        const google::protobuf::EnumValueDescriptor* value =
            DataDefinition::Cleanup::CleanupLogsOperations_descriptor()->FindValueByNumber(
                operation);
        names += (names.empty() ? "" : ",") +
                 (value != nullptr ? value->name() : std::to_string(operation));
    }
    return names;
}

std::string JoinDays(const std::array<std::uint16_t, 5>& days) {
    std::string text;
    for (const std::uint16_t day : days) {
        text += (text.empty() ? "" : ",") + std::to_string(day);
    }
    return text;
}

}  // namespace

CHostApplication::CHostApplication(const CHostOptions& options, std::ostream& out,
                                   std::ostream& err)
    : m_options(options), m_out(out), m_err(err), m_signal(0), m_running(nullptr) {}

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
    return m_signal == 0 ? 0 : 128 + m_signal;
}

int CHostApplication::Fail(const std::string& message, int status) {
    m_err << "cleanup-agent: " << message << std::endl;
    return status;
}

int CHostApplication::Run() {
    try {
        return RunChecked();
    } catch (const std::exception& e) {
        return Fail(e.what(), 3);
    }
}

int CHostApplication::RunChecked() {
    const auto report = boost::make_shared<CRunReport>();
    const std::string moduleName = "CCleanupModule";
    const auto logger = boost::make_shared<CHostLogger>(
        m_out, m_options.logLevel,
        [report, moduleName](const std::string& text, std::int32_t level,
                             const std::string& module) {
            if (module == moduleName) {
                report->AddModuleRecord(text, level);
            }
        });

    // The plug-in comes first: when it is missing the store is not touched.
    std::unique_ptr<CPluginModule> plugin;
    if (!m_options.operations.empty()) {
        try {
            plugin.reset(new CPluginModule(m_options.module, kModuleClass));
        } catch (const std::exception& e) {
            return Fail(e.what(), 3);
        }
    }
    std::unique_ptr<CStoreLock> lock;
    boost::shared_ptr<CSqliteStore> store;
    Identity identity;
    if (const int refused = OpenStore(lock, store, identity, *logger)) {
        return refused;
    }

    // From here on a dry run changes nothing: the seeding and the cleanup go
    // into one outer transaction that is rolled back at the end.
    if (m_options.dryRun) {
        store->BeginDryRun();
    }
    if (m_options.seedRows) {
        Seed(*store, *logger);
    }
    if (Signalled()) {
        return SignalStatus();
    }
    if (!plugin) {
        logger->Log("no operation given: nothing else to do", kInfo, kHost);
        return 0;
    }
    return RunRequest(*plugin, store, logger, report, identity);
}

int CHostApplication::OpenStore(std::unique_ptr<CStoreLock>& lock,
                                boost::shared_ptr<CSqliteStore>& store, Identity& identity,
                                CHostLogger& logger) {
    // Every check that can refuse the store comes before its first write.
    std::string path;
    try {
        path = CStoreFiles::RealPath(m_options.db);
    } catch (const std::exception& e) {
        return Fail(e.what(), 3);
    }
    const bool create = (m_options.create || m_options.seedRows) && !m_options.dryRun;
    if (!CStoreFiles::Exists(path) && !create) {
        return Fail(
            "no store at " + m_options.db +
                (m_options.dryRun ? " (a dry run creates none)" : " (use --create to make one)"),
            3);
    }
    try {
        lock.reset(new CStoreLock(path, std::chrono::seconds(m_options.waitSeconds),
                                  [this] { return Signalled(); }));
    } catch (const std::exception& e) {
        return Signalled() ? SignalStatus() : Fail(e.what(), 3);
    }
    int refusal = 3;
    try {
        CSqliteStore::Options options;
        if (m_options.writeFaults) {
            CWriteFaultVfs::Install(m_options.writeFaults->first, m_options.writeFaults->second);
            options.vfs = CWriteFaultVfs::kName;
        }
        options.create = create;
        options.dryRun = m_options.dryRun;
        options.beforeFirstWrite = [this, &identity, &refusal](CSqliteStore& opened) {
            CheckStore(opened, identity, refusal);
        };
        store = boost::make_shared<CSqliteStore>(path, options);
    } catch (const std::exception& e) {
        return Fail(e.what(), refusal);
    }
    if (!store->GetOpenNote().empty()) {
        logger.Log(store->GetOpenNote(), kInfo, kHost);
    }
    if (!m_options.dryRun) {
        if (const int stale = CStoreFiles::RemoveStaleTemporaries(path)) {
            logger.Log("removed " + std::to_string(stale) +
                           " temporary files an earlier, stopped run left beside the store",
                       kInfo, kHost);
        }
        if (identity.newInstallationUuid) {
            store->SetSetting("installation_uuid", identity.installationUuid);
        }
    }
    logger.Log("store " + m_options.db + " open; installation " + identity.installationUuid +
                   ", kind " + std::to_string(m_options.installationKind) + ", retention " +
                   JoinDays(identity.retention) + " days" + (m_options.dryRun ? "; dry run" : ""),
               kInfo, kHost);
    return 0;
}

void CHostApplication::CheckStore(CSqliteStore& store, Identity& identity, int& refusal) const {
    try {
        identity = ReadIdentity(store);
    } catch (const std::exception& e) {
        throw std::invalid_argument("cannot use store " + m_options.db + ": " + e.what());
    }
    if (m_options.seedRows && store.HasTable("logs")) {
        const std::int64_t logs = store.QueryInt64("SELECT count(*) FROM logs");
        if (logs > 0) {
            refusal = 2;
            throw std::invalid_argument("--seed-demo: " + m_options.db + " already holds " +
                                        std::to_string(logs) +
                                        " logs; seed only a new or empty store");
        }
    }
}

CHostApplication::Identity CHostApplication::ReadIdentity(CSqliteStore& store) const {
    Identity identity;
    identity.retention = kDefaultRetention;
    const bool settings = store.HasTable("settings");
    auto setting = [&store, settings](const std::string& key) {
        return settings ? store.GetSetting(key) : boost::optional<std::string>();
    };
    const std::vector<std::int32_t>& operations = m_options.operations;
    if (std::find(operations.begin(), operations.end(), DataDefinition::Cleanup::EVENT_LOGS) !=
        operations.end()) {
        CEventLogsMapper::ParseKeepCount(setting("max_event_logs_per_type"));
    }
    if (m_options.installationUuid) {
        identity.installationUuid = *m_options.installationUuid;
    } else if (const boost::optional<std::string> kept = setting("installation_uuid")) {
        identity.installationUuid =
            CCommandLine::NormalizeUuid(*kept, "store setting installation_uuid");
    } else {
        identity.installationUuid = RandomUuid();
        identity.newInstallationUuid = true;
    }
    if (m_options.retentionDays) {
        identity.retention = *m_options.retentionDays;
        return identity;
    }
    for (std::size_t k = 0; k < identity.retention.size(); ++k) {
        const std::string key = "retention_days_" + std::to_string(k + 1);
        if (const boost::optional<std::string> days = setting(key)) {
            identity.retention[k] = CCommandLine::ParseDays(*days, "store setting " + key);
        }
    }
    return identity;
}

void CHostApplication::Seed(CSqliteStore& store, CHostLogger& logger) {
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
    logger.Log(line.str(), kInfo, kHost);
}

int CHostApplication::RunRequest(CPluginModule& plugin,
                                 const boost::shared_ptr<CSqliteStore>& store,
                                 const boost::shared_ptr<CHostLogger>& logger,
                                 const boost::shared_ptr<CRunReport>& report,
                                 const Identity& identity) {
    CStoreMapper::Context context;
    context.store = store;
    context.report = report;
    context.logger = logger;
    context.batchRows = m_options.batchRows;
    const auto recorder = boost::make_shared<CStatusEventRecorder>(store, logger, report);
    const auto bus = boost::make_shared<CHostBus>(boost::bind(
        &CStatusEventRecorder::OnSent, recorder, boost::placeholders::_1, boost::placeholders::_2));
    const auto provider = boost::make_shared<CHostResourceProvider>();
    provider->Add(Kernel::ResourceTypeBus, bus);
    provider->Add(Kernel::ResourceTypeInstallConfiguration,
                  boost::make_shared<CHostInstallConfiguration>(identity.installationUuid,
                                                                m_options.installationKind));
    provider->Add(Kernel::ResourceTypeLogger, logger);
    provider->Add(Kernel::ResourceTypeIdGenerator, boost::make_shared<CHostIdGenerator>());
    provider->Add(Kernel::ResourceTypeDatabase,
                  boost::make_shared<CSqliteDatabaseResource>(context));
    provider->Add(Kernel::ResourceTypeConfiguration,
                  boost::make_shared<CHostServerConfiguration>(identity.retention));

    // On every way out the module is deleted before the bus lets go of its
    // subscriber, and both before the library is unloaded.
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
    std::unique_ptr<Teardown> teardown(new Teardown{*this, plugin, *bus, false});

    try {
        plugin.Initialize(provider);
    } catch (const std::exception& e) {
        return Fail(std::string("cannot initialise the module: ") + e.what(), 3);
    }
    if (bus->CountSubscribers(Kernel::MessageTypeCleanupLogs) == 0) {
        return Fail("the module did not subscribe to cleanup requests (message type 2)", 3);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = &plugin;
    }
    try {
        plugin.Start();
        if (!Signalled()) {
            SendRequest(*bus, *logger);
        }
    } catch (const std::exception& e) {
        return Fail(std::string("cannot start the module or deliver the request: ") + e.what(), 3);
    }

    // Once OnMessage has returned the request is queued, so a graceful stop
    // succeeds only after the module has taken and finished it.
    plugin.RequestStop();
    while (!Signalled()) {
        if (plugin.Stop(false)) {
            teardown->stopped = true;
            break;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, kStopPoll, [this] { return m_signal != 0; });
    }
    teardown.reset();
    logger->Log("module stopped and deleted", kInfo, kHost);

    if (m_options.dryRun) {
        store->EndDryRun();
        logger->Log("dry run: every change was rolled back", kInfo, kHost);
    }
    const int signal = SignalStatus();
    const bool statusEvents =
        m_options.installationKind == Common::Kernel::InstallationKindReporting;
    const std::string interruption = signal == 128 + SIGINT    ? "SIGINT"
                                     : signal == 128 + SIGTERM ? "SIGTERM"
                                     : signal == 128 + SIGHUP  ? "SIGHUP"
                                                               : "";
    const bool failed = report->HasFailed(statusEvents);
    for (const std::string& line : report->Summarize(statusEvents, interruption)) {
        logger->Log(line, failed || signal != 0 ? kWarning : kInfo, kHost);
    }
    if (signal != 0) {
        return signal;
    }
    return failed ? 1 : 0;
}

void CHostApplication::SendRequest(CHostBus& bus, CHostLogger& logger) {
    std::array<std::string, 3> uuids;
    if (m_options.requestUuids) {
        uuids = *m_options.requestUuids;
    } else {
        for (std::string& uuid : uuids) {
            uuid = RandomUuid();
        }
    }
    const auto request = boost::make_shared<Message::Cleanup::CCleanupLogs>();
    request->SetFirstRequestUuid(MakeUuid(uuids[0]));
    request->SetSecondRequestUuid(MakeUuid(uuids[1]));
    request->SetThirdRequestUuid(MakeUuid(uuids[2]));
    request->SetOperations(m_options.operations);
    request->SetReadOnly();
    const auto userContext =
        boost::make_shared<Security::CUserContext>(boost::make_shared<Security::CSystemUser>());
    logger.Log("sending cleanup request " + uuids[0] + " with operations " +
                   OperationNames(m_options.operations),
               kInfo, kHost);
    bus.Deliver(request, userContext, kDeliveryTimeout);
}

}  // namespace Host
}  // namespace Kol
