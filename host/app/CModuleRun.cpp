#include "host/app/CModuleRun.h"

#include <chrono>
#include <memory>

#include <boost/make_shared.hpp>

#include "contracts/message/CCleanupLogs.h"
#include "framework/security/CSystemUser.h"
#include "framework/security/CUserContext.h"
#include "host/app/CRunOutput.h"
#include "host/app/CStopSignal.h"
#include "host/cli/COperationCatalog.h"
#include "host/cli/ExitStatus.h"
#include "host/kernel/CHostBus.h"
#include "host/kernel/CHostResourceProvider.h"
#include "host/kernel/CPluginModule.h"

namespace Kol {
namespace Host {

using namespace Common;

namespace {

// How long the bus may take to hand the request over (OnMessage only queues).
const std::chrono::milliseconds kDeliveryTimeout(30000);
// How often the host asks an idle-looking module to stop.
const std::chrono::milliseconds kStopPoll(20);

DataDefinition::Common::Uuid MakeUuid(const std::string& text) {
    DataDefinition::Common::Uuid uuid;
    uuid.set_uuid(text);
    return uuid;
}

}  // namespace

CModuleRun::CModuleRun(const CHostOptions& options, const std::array<std::string, 3>& requestUuids,
                       CRunOutput& output, CStopSignal& stop)
    : m_options(options), m_requestUuids(requestUuids), m_output(output), m_stop(stop) {}

int CModuleRun::Run(CPluginModule& plugin, CHostBus& bus,
                    const boost::shared_ptr<CHostResourceProvider>& provider) {
    // On every way out: the module deleted, then the bus's subscriber, then the library.
    struct Teardown {
        CStopSignal& stop;
        CPluginModule& plugin;
        CHostBus& bus;
        bool stopped;
        ~Teardown() {
            stop.SetRunning(nullptr);
            if (!stopped) {
                plugin.Stop(true);
            }
            plugin.Destroy();
            bus.DropSubscribers();
        }
    };
    std::unique_ptr<Teardown> teardown(new Teardown{m_stop, plugin, bus, false});

    try {
        plugin.Initialize(provider);
    } catch (const std::exception& e) {
        return m_output.Fail(std::string("cannot initialise the module: ") + e.what(),
                             kExitUnusable);
    }
    if (bus.CountSubscribers(Kernel::MessageTypeCleanupLogs) == 0) {
        return m_output.Fail("the module did not subscribe to cleanup requests (message type 2)",
                             kExitUnusable);
    }
    m_stop.SetRunning(&plugin);
    try {
        plugin.Start();
        if (!m_stop.Raised()) {
            SendRequest(bus);
        }
    } catch (const std::exception& e) {
        return m_output.Fail(
            std::string("cannot start the module or deliver the request: ") + e.what(),
            kExitUnusable);
    }
    teardown->stopped = WaitUntilIdle(plugin);
    teardown.reset();
    m_output.Log("module stopped and deleted");
    return kExitSucceeded;
}

bool CModuleRun::WaitUntilIdle(CPluginModule& plugin) {
    // Once OnMessage has returned the request is queued, so a graceful stop
    // succeeds only after the module has taken and finished it.
    plugin.RequestStop();
    auto lastProgress = std::chrono::steady_clock::now();
    while (!m_stop.Raised()) {
        if (plugin.Stop(false)) {
            return true;
        }
        m_output.Progress(lastProgress);
        m_stop.Wait(kStopPoll);
    }
    return false;
}

void CModuleRun::SendRequest(CHostBus& bus) {
    const auto request = boost::make_shared<Message::Cleanup::CCleanupLogs>();
    request->SetFirstRequestUuid(MakeUuid(m_requestUuids[0]));
    request->SetSecondRequestUuid(MakeUuid(m_requestUuids[1]));
    request->SetThirdRequestUuid(MakeUuid(m_requestUuids[2]));
    request->SetOperations(m_options.operations);
    request->SetReadOnly();
    const auto userContext =
        boost::make_shared<Security::CUserContext>(boost::make_shared<Security::CSystemUser>());
    m_output.Log("sending cleanup request " + m_requestUuids[0] + " with operations " +
                 COperationCatalog::NamesOf(m_options.operations));
    m_output.RequestSent();
    bus.Deliver(request, userContext, kDeliveryTimeout);
}

}  // namespace Host
}  // namespace Kol
