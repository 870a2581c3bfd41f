// The cleanup engine: request processing, the cleanup operations and the
// re-scheduling step of CCleanupModuleBase.

#include <stdexcept>
#include <string>

#include <google/protobuf/generated_enum_reflection.h>
#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>
#include <boost/thread/thread.hpp>

#include "Cleanup/Common/CCleanupModuleBase.h"
#include "contracts/database/IBackupMapper.h"
#include "contracts/database/ICleanupAbandonedLogsMapper.h"
#include "contracts/database/ICleanupEventLogsMapper.h"
#include "contracts/database/ICleanupIgnoredLogsMapper.h"
#include "contracts/database/ICleanupObsoleteDeltaLogsMapper.h"
#include "contracts/database/ICleanupOldLogsMapper.h"
#include "contracts/database/ICleanupRebuildIndexesMapper.h"
#include "contracts/database/ICleanupReplicatedLogsMapper.h"
#include "contracts/database/ICleanupStaticObjectsMapper.h"
#include "contracts/database/ICleanupStorageMapper.h"
#include "contracts/database/IComputerEnrollementMapper.h"
#include "contracts/datadefinition/Cleanup.pb.h"
#include "contracts/kernel/IServerConfigurationResource.h"
#include "contracts/logs/CleanupStatusSymbol.h"
#include "framework/logs/TimeConversion.h"
#include "framework/message/CEventLog.h"

namespace Kol {
namespace Cleanup {
namespace Common {

using namespace Kol::Common;
using Database::MapperId;
using Message::Cleanup::CCleanupLogs;
using Message::Cleanup::CCleanupLogsPtr;

namespace {

// Status event of a cleanup request (its symbols: Logs::CleanupStatusSymbol).
const Kernel::MessageType kStatusEventType = Kernel::MessageTypeCleanupStatusEvent;
const std::int64_t kNoResourceId = -1;
const std::int64_t kCleanupTaskResourceId = 0x0710000000000222LL;

const std::int32_t kProgressBegun = 20;
const std::int32_t kProgressSucceeded = 30;
const std::int32_t kProgressFailed = 40;
const std::int32_t kLevelCodeInformation = 1;
const std::int32_t kLevelCodeError = 4;

// Enrolment tombstones are kept for five days.
const boost::posix_time::hours kTombstoneRetention(120);

// The data-definition library's name of an operation value; "" if unnamed.
const std::string& OperationName(std::int32_t value) {
    return google::protobuf::internal::NameOfEnum(
        DataDefinition::Cleanup::CleanupLogsOperations_descriptor(), value);
}

// `now` moved back by whole days, keeping its time of day.
boost::posix_time::ptime DaysBefore(const boost::posix_time::ptime& now, std::uint16_t days) {
    return boost::posix_time::ptime(now.date() - boost::gregorian::days(days), now.time_of_day());
}

}  // namespace

void CCleanupModuleBase::ProcessCleanupTask(const Kernel::IMessagePtr& request) {
    CCleanupLogsPtr cleanupRequest;
    try {
        cleanupRequest = boost::dynamic_pointer_cast<CCleanupLogs>(request);
        if (!cleanupRequest) {
            throw std::runtime_error("Received unexpected message type");
        }
        ReportCleanupStatus(cleanupRequest, kProgressBegun, kLevelCodeInformation);

        // Re-schedules the request however this scope is left. A local class
        // shares the member function's access to the private step.
        struct RescheduleGuard {
            CCleanupModuleBase& module;
            const Kernel::IMessagePtr& request;
            ~RescheduleGuard() { module.RescheduleCleanup(request); }
        } guard{*this, request};

        bool allSucceeded = true;
        for (const std::int32_t operation : cleanupRequest->GetOperations()) {
            if (boost::this_thread::interruption_requested()) {
                LogStream(Kol::Common::Module::Warning)
                    << "The module is stopping. Cleanup process interrupted.";
                break;
            }
            try {
                RunOperation(operation);
            } catch (const std::exception& e) {
                allSucceeded = false;
                LogErrorStream() << "Failed to process cleanup operation "
                                 << OperationName(operation) << " with error: " << e.what();
            }
        }
        if (allSucceeded) {
            ReportCleanupStatus(cleanupRequest, kProgressSucceeded, kLevelCodeInformation);
        } else {
            ReportCleanupStatus(cleanupRequest, kProgressFailed, kLevelCodeError);
        }
    } catch (const std::exception& e) {
        LogErrorStream() << "Failed to process cleanup task request with: " << e.what();
        if (cleanupRequest) {
            ReportCleanupStatus(cleanupRequest, kProgressFailed, kLevelCodeError);
        }
        throw;
    }
}

void CCleanupModuleBase::RunOperation(std::int32_t operation) {
    using namespace DataDefinition::Cleanup;
    switch (operation) {
        case REPLICATED_LOGS:
            CleanupReplicatedLogs();
            return;
        case OBSOLETE_DELTA_LOGS:
            CleanupObsoleteDeltaLogs();
            return;
        case EVENT_LOGS:
            CleanupEventLogs();
            return;
        case ABANDONED_LOGS:
            CleanupAbandonedLogs();
            return;
        case IGNORED_LOGS:
            CleanupIgnoredLogs();
            return;
        case STORAGE:
            CleanupStorage();
            return;
        case OLD_LOGS:
            CleanupOldLogs();
            return;
        case INDEXES:
            CleanupIndexes();
            return;
        case ENROLLMENT_TOMBSTONES:
            CleanupEnrollmentTombstones();
            return;
        case STATIC_OBJECTS:
            CleanupStaticObjects();
            return;
        case OPERATION_15:
            CleanupHook1();
            return;
        case OPERATION_16:
            CleanupHook9();
            CleanupHook10();
            return;
        case OPERATION_17:
            CleanupHook2();
            CleanupHook5();
            CleanupHook6();
            return;
        case OPERATION_18:
            CleanupHook3();
            return;
        case OPERATION_19:
            CleanupHook4();
            return;
        case OPERATION_20:
            CleanupHook11();
            return;
        case OPERATION_21:
            CleanupHook12();
            return;
        case OPERATION_22:
            return;
        case OPERATION_23:
            CleanupHook8();
            return;
        case OPERATION_24:
            CleanupHook13();
            return;
        default:
            // 8 to 11 and every value outside 1 to 24.
            throw std::runtime_error("CCleanupModuleBase::ProcessCleanupTask: Enum is not handled");
    }
}

template <typename Mapper>
boost::shared_ptr<Mapper> CCleanupModuleBase::GetMapperAs(std::int32_t id) const {
    if (!m_databaseResource) {
        return boost::shared_ptr<Mapper>();
    }
    return boost::dynamic_pointer_cast<Mapper>(m_databaseResource->GetMapper(id));
}

template <typename Mapper, typename Call>
bool CCleanupModuleBase::RunMapperOperation(std::int32_t id, const char* initiating,
                                            const char* finished, const char* failure, Call call) {
    const boost::shared_ptr<Mapper> mapper = GetMapperAs<Mapper>(id);
    if (!mapper) {
        LogErrorStream() << failure;
        return false;
    }
    LogInfo() << initiating;
    call(*mapper);
    LogInfo() << finished;
    return true;
}

void CCleanupModuleBase::CleanupReplicatedLogs() {
    RunMapperOperation<Database::ICleanupReplicatedLogsMapper>(
        Database::MapperIdCleanup, "Initiating replicated logs cleanup",
        "Finished replicated logs cleanup",
        "Failed to cleanup replicated logs: mapper not available",
        [](Database::ICleanupReplicatedLogsMapper& mapper) { mapper.Cleanup(); });
}

void CCleanupModuleBase::CleanupObsoleteDeltaLogs() {
    RunMapperOperation<Database::ICleanupObsoleteDeltaLogsMapper>(
        Database::MapperIdCleanup, "Initiating obsolete delta logs cleanup",
        "Finished obsolete delta logs cleanup",
        "Failed to cleanup obsolete delta logs: mapper not available",
        [](Database::ICleanupObsoleteDeltaLogsMapper& mapper) { mapper.Cleanup(); });
}

void CCleanupModuleBase::CleanupEventLogs() {
    RunMapperOperation<Database::ICleanupEventLogsMapper>(
        Database::MapperIdCleanup, "Initiating event logs cleanup", "Finished event logs cleanup",
        "Failed to cleanup event logs: mapper not available",
        [](Database::ICleanupEventLogsMapper& mapper) { mapper.Cleanup(); });
}

void CCleanupModuleBase::CleanupAbandonedLogs() {
    RunMapperOperation<Database::ICleanupAbandonedLogsMapper>(
        Database::MapperIdCleanup, "Initiating abandoned logs cleanup",
        "Finished abandoned logs cleanup", "Failed to cleanup abandoned logs: mapper not available",
        [](Database::ICleanupAbandonedLogsMapper& mapper) { mapper.Cleanup(); });
}

void CCleanupModuleBase::CleanupIgnoredLogs() {
    RunMapperOperation<Database::ICleanupIgnoredLogsMapper>(
        Database::MapperIdCleanup, "Initiating ignored logs cleanup",
        "Finished ignored logs cleanup", "Failed to cleanup ignored logs: mapper not available",
        [](Database::ICleanupIgnoredLogsMapper& mapper) { mapper.Cleanup(); });
}

void CCleanupModuleBase::CleanupStorage() {
    const bool cleaned = RunMapperOperation<Database::ICleanupStorageMapper>(
        Database::MapperIdCleanup, "Initiating storage cleanup", "Finished storage cleanup",
        "Failed to cleanup storage: mapper not available",
        [](Database::ICleanupStorageMapper& mapper) { mapper.Cleanup(); });
    if (!cleaned || m_installConfigurationResource->GetInstallationKind() !=
                        Kernel::InstallationKindReporting) {
        return;
    }
    BackupDatabase();
}

void CCleanupModuleBase::BackupDatabase() {
    RunMapperOperation<Database::IBackupMapper>(
        Database::MapperIdBackup, "Initiating database backup", "Finished database backup",
        "Failed to backup database: mapper not available",
        [](Database::IBackupMapper& mapper) { mapper.Backup(); });
}

void CCleanupModuleBase::CleanupOldLogs() {
    const boost::shared_ptr<Database::ICleanupOldLogsMapper> mapper =
        GetMapperAs<Database::ICleanupOldLogsMapper>(Database::MapperIdCleanup);
    const Kernel::IServerConfigurationResourcePtr configuration =
        boost::dynamic_pointer_cast<Kernel::IServerConfigurationResource>(
            m_cleanupConfigurationResource);
    if (!mapper || !configuration) {
        LogErrorStream()
            << "Failed to cleanup old logs: mapper or configuration resource is not available";
        return;
    }
    // The first period is read before the clock, the others after it, each
    // cut-off from the same moment.
    const std::uint16_t days1 = configuration->GetRetentionDays1();
    const boost::posix_time::ptime now = Logs::CurrentUtcTime();
    const boost::posix_time::ptime cutoff1 = DaysBefore(now, days1);
    const boost::posix_time::ptime cutoff2 = DaysBefore(now, configuration->GetRetentionDays2());
    const boost::posix_time::ptime cutoff3 = DaysBefore(now, configuration->GetRetentionDays3());
    const boost::posix_time::ptime cutoff4 = DaysBefore(now, configuration->GetRetentionDays4());
    const boost::posix_time::ptime cutoff5 = DaysBefore(now, configuration->GetRetentionDays5());
    LogInfo() << "Initiating old logs cleanup";
    mapper->Cleanup(cutoff1, cutoff2, cutoff3, cutoff4, cutoff5);
    LogInfo() << "Finished old logs cleanup";
}

void CCleanupModuleBase::CleanupIndexes() {
    RunMapperOperation<Database::ICleanupRebuildIndexesMapper>(
        Database::MapperIdCleanup, "Initiating indexes cleanup", "Finished indexes cleanup",
        "Failed to cleanup indexes: mapper not available",
        [](Database::ICleanupRebuildIndexesMapper& mapper) { mapper.Cleanup(); });
}

void CCleanupModuleBase::CleanupEnrollmentTombstones() {
    RunMapperOperation<Database::IComputerEnrollementMapper>(
        Database::MapperIdComputerEnrollment, "Initiating cleaning computer enrollement tombstone",
        "Finished cleaning computer enrollement tombstone",
        "Failed to cleanup tombstones of enrolled computers: mapper not available",
        [](Database::IComputerEnrollementMapper& mapper) {
            mapper.CleanupTombstones(Logs::CurrentUtcTime() - kTombstoneRetention);
        });
}

void CCleanupModuleBase::CleanupStaticObjects() {
    RunMapperOperation<Database::ICleanupStaticObjectsMapper>(
        Database::MapperIdStaticObjects, "Initiating static objects cleanup",
        "Finished static objects cleanup", "Failed to cleanup static objects: mapper not available",
        [](Database::ICleanupStaticObjectsMapper& mapper) { mapper.Cleanup(); });
}

void CCleanupModuleBase::CleanupHook1() {}
void CCleanupModuleBase::CleanupHook2() {}
void CCleanupModuleBase::CleanupHook3() {}
void CCleanupModuleBase::CleanupHook4() {}
void CCleanupModuleBase::CleanupHook5() {}
void CCleanupModuleBase::CleanupHook6() {}
void CCleanupModuleBase::CleanupHook7() {}
void CCleanupModuleBase::CleanupHook8() {}
void CCleanupModuleBase::CleanupHook9() {}
void CCleanupModuleBase::CleanupHook10() {}
void CCleanupModuleBase::CleanupHook11() {}
void CCleanupModuleBase::CleanupHook12() {}
void CCleanupModuleBase::CleanupHook13() {}

void CCleanupModuleBase::ReportCleanupStatus(const CCleanupLogsPtr& request,
                                             std::int32_t progressCode, std::int32_t levelCode) {
    if (!request || m_installConfigurationResource->GetInstallationKind() !=
                        Kernel::InstallationKindReporting) {
        return;
    }
    const CCleanupLogs::Uuid firstRequestUuid = request->GetFirstRequestUuid();
    const CCleanupLogs::Uuid secondRequestUuid = request->GetSecondRequestUuid();
    const CCleanupLogs::Uuid thirdRequestUuid = request->GetThirdRequestUuid();

    const boost::shared_ptr<Message::Logs::CEventLog> event =
        boost::make_shared<Message::Logs::CEventLog>(kStatusEventType);
    event->GetSymbols()
        ->AddSymbol(Logs::CleanupStatusLevelCode, levelCode)
        .AddUuidText(Logs::CleanupStatusInstallationUuid,
                     m_installConfigurationResource->GetInstallationUuid())
        .AddCurrentTime(Logs::CleanupStatusReportedAt)
        .AddSymbol(Logs::CleanupStatusRequestUuid1, firstRequestUuid)
        .AddSymbol(Logs::CleanupStatusRequestUuid3, thirdRequestUuid)
        .AddSymbol(Logs::CleanupStatusRequestUuid2, secondRequestUuid)
        .AddResourceId(Logs::CleanupStatusResourceId, kNoResourceId)
        .AddResourceId(Logs::CleanupStatusTaskResourceId, kCleanupTaskResourceId)
        .AddSymbol(Logs::CleanupStatusProgressCode, static_cast<std::int64_t>(progressCode));
    event->SetReadOnly();
    SendMessage(event);
}

void CCleanupModuleBase::RescheduleCleanup(const Kernel::IMessagePtr& request) noexcept {
    try {
        const CCleanupLogsPtr cleanupRequest = boost::dynamic_pointer_cast<CCleanupLogs>(request);
        if (!cleanupRequest) {
            return;
        }
        const ScheduleKey key(cleanupRequest->GetOperations().begin(),
                              cleanupRequest->GetOperations().end());
        if (m_scheduleRegistry.find(key) != m_scheduleRegistry.end()) {
            // Nothing registers a schedule in this module; a registered set
            // would be re-armed by the scheduler that owns it.
            return;
        }
        std::string names;
        for (ScheduleKey::const_iterator it = key.begin(); it != key.end(); ++it) {
            if (it != key.begin()) {
                names += ",";
            }
            names += OperationName(*it);
        }
        LogInfo() << "Failed to re-schedule a cleanup: operation {" << names
                  << "} is not registered";
    } catch (...) {
        // Out of memory while building the line: the request is over anyway,
        // and this runs while another exception may be in flight.
    }
}

}  // namespace Common
}  // namespace Cleanup
}  // namespace Kol
