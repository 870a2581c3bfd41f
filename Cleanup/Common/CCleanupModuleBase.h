#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/shared_ptr.hpp>

#include "contracts/database/IMapper.h"
#include "contracts/kernel/IConfigurationResource.h"
#include "contracts/kernel/IDatabaseResource.h"
#include "contracts/kernel/IMessage.h"
#include "contracts/message/CCleanupLogs.h"
#include "framework/module/CCommonModule.h"

namespace Kol {
namespace Common {
namespace Module {
class CFunctionCallMessageProcessor;
}  // namespace Module
}  // namespace Common

namespace Cleanup {
namespace Common {

// The cleanup module's logic: receives cleanup requests (message type 2) on
// its processing thread and runs their operations against the agent's
// database through the kernel's mappers, reporting progress in the log and,
// on installation kind 1, as status events on the bus.
class CCleanupModuleBase : public Kol::Common::Module::CCommonModule {
public:
    // Operations of a request keyed as an ordered set, and what a re-schedule
    // of that set would run after.
    typedef std::set<std::int32_t> ScheduleKey;
    typedef std::map<ScheduleKey, boost::posix_time::time_duration> ScheduleRegistry;

    // `name`: the concrete module's name (see CCommonModule).
    explicit CCleanupModuleBase(std::string name);
    ~CCleanupModuleBase() override;

    // The handler of cleanup requests; runs on the processing thread only.
    // Throws std::runtime_error "Received unexpected message type" for a
    // message that is not a CCleanupLogs, and passes on failures of the status
    // reports, after logging them.
    void ProcessCleanupTask(const Kol::Common::Kernel::IMessagePtr& request);

protected:
    // Takes the configuration (11) and database (6) resources, which may be
    // missing, registers the request handler, subscribes type 2 on the bus and
    // logs "Module initialized".
    void OnInitialize(const Kol::Common::Kernel::IResourceProviderPtr& provider) override;

    // Registers ProcessCleanupTask for message type 2.
    virtual void RegisterFunctionCalls();

    virtual void CleanupObsoleteDeltaLogs();
    virtual void CleanupOldLogs();
    virtual void CleanupAbandonedLogs();
    // Extension points for other agent kinds; empty here. The order of these
    // virtual operations, hooks interleaved with CleanupStaticObjects, is part
    // of the binary interface: modules built against this class override and
    // call them through their places in the virtual table, so none may be
    // moved, merged or dropped. CleanupHook7 is reached by no operation value
    // (see RunOperation) but keeps its place for the same reason.
    virtual void CleanupHook1();
    virtual void CleanupHook2();
    virtual void CleanupHook3();
    virtual void CleanupHook4();
    virtual void CleanupHook5();
    virtual void CleanupHook6();
    virtual void CleanupHook7();
    virtual void CleanupHook8();
    virtual void CleanupStaticObjects();
    virtual void CleanupHook9();
    virtual void CleanupHook10();
    virtual void CleanupHook11();
    virtual void CleanupHook12();
    virtual void CleanupHook13();

    void CleanupIndexes();

private:
    void RunOperation(std::int32_t operation);
    void CleanupReplicatedLogs();
    void CleanupEventLogs();
    void CleanupIgnoredLogs();
    void CleanupStorage();
    void BackupDatabase();
    void CleanupEnrollmentTombstones();

    // Sends the status event of `request` with the given progress and level
    // codes; does nothing for an empty request or an installation kind other
    // than 1. Throws what building or sending the event throws.
    void ReportCleanupStatus(const Kol::Common::Message::Cleanup::CCleanupLogsPtr& request,
                             std::int32_t progressCode, std::int32_t levelCode);

    // Writes the request's re-scheduling line. Never throws.
    void RescheduleCleanup(const Kol::Common::Kernel::IMessagePtr& request) noexcept;

    // The mapper `id` cast to `Mapper`, or empty when there is no database
    // resource, no such mapper or a mapper without that interface.
    template <typename Mapper>
    boost::shared_ptr<Mapper> GetMapperAs(std::int32_t id) const;

    // Runs one mapper call between its Initiating and Finished lines, or
    // writes `failure` when the mapper is missing. Returns whether it ran.
    template <typename Mapper, typename Call>
    bool RunMapperOperation(std::int32_t id, const char* initiating, const char* finished,
                            const char* failure, Call call);

protected:
    // The configuration the cleanup operations read (old logs retention).
    Kol::Common::Kernel::IConfigurationResourcePtr m_cleanupConfigurationResource;
    Kol::Common::Kernel::IDatabaseResourcePtr m_databaseResource;
    boost::shared_ptr<Kol::Common::Module::CFunctionCallMessageProcessor> m_functionCallProcessor;
    ScheduleRegistry m_scheduleRegistry;  // read only on the processing thread
};

}  // namespace Common
}  // namespace Cleanup
}  // namespace Kol
