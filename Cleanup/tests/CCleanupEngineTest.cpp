// The cleanup engine driven through the recording test kernel: exact log
// lines in order with their levels, mapper calls with their arguments, and
// the status events taken from the bus.

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <google/protobuf/generated_enum_reflection.h>
#include <gtest/gtest.h>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include "Cleanup/CleanupAgent/CCleanupModule.h"
#include "contracts/datadefinition/Cleanup.pb.h"
#include "framework/logs/CSymbolContainer.h"
#include "framework/message/CEventLog.h"
#include "framework/security/CUserContext.h"
#include "framework/security/CurrentUserContext.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/CTestMessage.h"
#include "tests/kernel/CleanupRequest.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol {
namespace Cleanup {
namespace {

using boost::posix_time::ptime;
using Kol::Common::Message::Cleanup::CCleanupLogs;
using Kol::Common::Message::Logs::CEventLog;
using Testing::CRecordingCleanupMapper;
using Testing::CTestKernel;
using Testing::CTestLogger;
typedef CTestLogger::Record Line;

Line Info(const std::string& text) {
    return Line{text, 2, "CCleanupModule"};
}
Line Error(const std::string& text) {
    return Line{text, 4, "CCleanupModule"};
}
Line Warn(const std::string& text) {
    return Line{text, 3, "CCleanupModule"};
}
Line Reschedule(const std::string& names) {
    return Info("Failed to re-schedule a cleanup: operation {" + names + "} is not registered");
}
Line OperationFailed(const std::string& name, const std::string& what) {
    return Error("Failed to process cleanup operation " + name + " with error: " + what);
}
const char* const kNotHandled = "CCleanupModuleBase::ProcessCleanupTask: Enum is not handled";

ptime Now() {
    return boost::posix_time::second_clock::universal_time();
}

// A module initialised on a complete test kernel. Tests change the kernel
// before calling Init(), or use the default.
class CleanupEngine : public ::testing::Test {
protected:
    void Init() {
        module.Initialize(kernel.provider);
        kernel.logger->Clear();
    }

    // Progress codes of the status events sent so far.
    std::vector<std::int64_t> ProgressCodes() const {
        std::vector<std::int64_t> codes;
        for (const auto& sent : kernel.bus->Sent()) {
            auto event = boost::dynamic_pointer_cast<CEventLog>(sent.message);
            codes.push_back(event ? event->GetSymbols()->GetInt64(2850) : -999);
        }
        return codes;
    }

    CTestKernel kernel;
    Agent::CCleanupModule module;
};

TEST_F(CleanupEngine, StorageIsFollowedByBackupOnlyOnKindOne) {
    struct Case {
        std::int32_t kind;
        bool storageMapper;
        bool backupMapper;
        std::vector<Line> lines;
        std::vector<std::string> calls;
    } cases[] = {
        {1,
         true,
         true,
         {Info("Initiating storage cleanup"), Info("Finished storage cleanup"),
          Info("Initiating database backup"), Info("Finished database backup")},
         {CRecordingCleanupMapper::kStorage, "IBackupMapper::Backup"}},
        {2,
         true,
         true,
         {Info("Initiating storage cleanup"), Info("Finished storage cleanup")},
         {CRecordingCleanupMapper::kStorage}},
        {1, false, true, {Error("Failed to cleanup storage: mapper not available")}, {}},
        {2, false, true, {Error("Failed to cleanup storage: mapper not available")}, {}},
        {1,
         true,
         false,
         {Info("Initiating storage cleanup"), Info("Finished storage cleanup"),
          Error("Failed to backup database: mapper not available")},
         {CRecordingCleanupMapper::kStorage}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " storage " << c.storageMapper
                                        << " backup " << c.backupMapper);
        CTestKernel kernel;
        kernel.installConfiguration->SetInstallationKind(c.kind);
        if (!c.storageMapper) {
            kernel.database->RemoveMapper(21);
        }
        if (!c.backupMapper) {
            kernel.database->RemoveMapper(365);
        }
        Agent::CCleanupModule module;
        module.Initialize(kernel.provider);
        kernel.logger->Clear();
        module.ProcessCleanupTask(Testing::MakeCleanupRequest({6}));
        std::vector<Line> expected = c.lines;
        expected.push_back(Reschedule("STORAGE"));
        EXPECT_EQ(kernel.logger->Records(), expected);
        EXPECT_EQ(kernel.calls->Names(), c.calls);
    }
}

TEST_F(CleanupEngine, OldLogsCutOffsFollowTheFiveRetentionPeriodsInOrder) {
    kernel.serverConfiguration->SetRetentionDays({0, 1, 30, 365, 65535});
    Init();
    const ptime before = Now();
    module.ProcessCleanupTask(Testing::MakeCleanupRequest({7}));
    const ptime after = Now();

    EXPECT_EQ(kernel.serverConfiguration->GetQueries(), (std::vector<int>{1, 2, 3, 4, 5}));
    const auto calls = kernel.calls->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, CRecordingCleanupMapper::kOldLogs);
    const std::vector<ptime>& cutoffs = calls[0].arguments;
    ASSERT_EQ(cutoffs.size(), 5u);
    const ptime now = cutoffs[0];
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
    EXPECT_EQ(now.time_of_day().fractional_seconds(), 0);
    const boost::gregorian::days day(1);
    EXPECT_EQ(cutoffs[1], now - day);
    EXPECT_EQ(cutoffs[2], now - boost::gregorian::days(30));
    EXPECT_EQ(cutoffs[3], now - boost::gregorian::days(365));
    EXPECT_EQ(cutoffs[4], now - boost::gregorian::days(65535));
    EXPECT_EQ(kernel.logger->Records(),
              (std::vector<Line>{Info("Initiating old logs cleanup"),
                                 Info("Finished old logs cleanup"), Reschedule("OLD_LOGS")}));
}

TEST_F(CleanupEngine, OldLogsWithoutServerConfigurationOrMapperOnlyFails) {
    const Line failure =
        Error("Failed to cleanup old logs: mapper or configuration resource is not available");
    kernel.provider->SetResource(11, kernel.plainConfiguration);
    Init();
    module.ProcessCleanupTask(Testing::MakeCleanupRequest({7}));
    EXPECT_EQ(kernel.logger->Records(), (std::vector<Line>{failure, Reschedule("OLD_LOGS")}));
    EXPECT_TRUE(kernel.serverConfiguration->GetQueries().empty());
    EXPECT_TRUE(kernel.calls->Calls().empty());
    EXPECT_EQ(ProgressCodes(), (std::vector<std::int64_t>{20, 30}));

    CTestKernel noMapper;
    noMapper.database->RemoveMapper(21);
    Agent::CCleanupModule other;
    other.Initialize(noMapper.provider);
    noMapper.logger->Clear();
    other.ProcessCleanupTask(Testing::MakeCleanupRequest({7}));
    EXPECT_EQ(noMapper.logger->Records(), (std::vector<Line>{failure, Reschedule("OLD_LOGS")}));
}

TEST_F(CleanupEngine, TombstoneCutOffIsFiveDaysBeforeTheCurrentSecond) {
    Init();
    const ptime before = Now();
    module.ProcessCleanupTask(Testing::MakeCleanupRequest({13}));
    const ptime after = Now();
    const auto calls = kernel.calls->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "IComputerEnrollementMapper::CleanupTombstones");
    ASSERT_EQ(calls[0].arguments.size(), 1u);
    const ptime cutoff = calls[0].arguments[0];
    EXPECT_GE(cutoff, before - boost::posix_time::hours(120));
    EXPECT_LE(cutoff, after - boost::posix_time::hours(120));
    EXPECT_EQ(cutoff.time_of_day().fractional_seconds(), 0);
    EXPECT_EQ(kernel.logger->Records(),
              (std::vector<Line>{Info("Initiating cleaning computer enrollement tombstone"),
                                 Info("Finished cleaning computer enrollement tombstone"),
                                 Reschedule("ENROLLMENT_TOMBSTONES")}));
}

TEST_F(CleanupEngine, EverySimpleOperationLogsAndCallsItsMapper) {
    struct Case {
        std::int32_t value;
        const char* subject;
        std::string call;
        std::int32_t mapperId;
        const char* failure;
    } cases[] = {
        {1, "replicated logs", CRecordingCleanupMapper::kReplicatedLogs, 21,
         "Failed to cleanup replicated logs: mapper not available"},
        {2, "obsolete delta logs", CRecordingCleanupMapper::kObsoleteDeltaLogs, 21,
         "Failed to cleanup obsolete delta logs: mapper not available"},
        {3, "event logs", CRecordingCleanupMapper::kEventLogs, 21,
         "Failed to cleanup event logs: mapper not available"},
        {4, "abandoned logs", CRecordingCleanupMapper::kAbandonedLogs, 21,
         "Failed to cleanup abandoned logs: mapper not available"},
        {5, "ignored logs", CRecordingCleanupMapper::kIgnoredLogs, 21,
         "Failed to cleanup ignored logs: mapper not available"},
        {12, "indexes", CRecordingCleanupMapper::kRebuildIndexes, 21,
         "Failed to cleanup indexes: mapper not available"},
        {14, "static objects", CTestKernel::kStaticObjects, 22,
         "Failed to cleanup static objects: mapper not available"},
    };
    Init();
    CTestKernel empty;
    empty.database->RemoveMapper(21);
    empty.database->RemoveMapper(22);
    Agent::CCleanupModule withoutMappers;
    withoutMappers.Initialize(empty.provider);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const std::string name = google::protobuf::internal::NameOfEnum(
            Kol::Common::DataDefinition::Cleanup::CleanupLogsOperations_descriptor(), c.value);
        kernel.logger->Clear();
        kernel.calls->Clear();
        kernel.database->ClearRequests();
        module.ProcessCleanupTask(Testing::MakeCleanupRequest({c.value}));
        EXPECT_EQ(kernel.logger->Records(),
                  (std::vector<Line>{Info(std::string("Initiating ") + c.subject + " cleanup"),
                                     Info(std::string("Finished ") + c.subject + " cleanup"),
                                     Reschedule(name)}));
        EXPECT_EQ(kernel.calls->Names(), std::vector<std::string>{c.call});
        EXPECT_EQ(kernel.database->GetRequestedIds(), std::vector<std::int32_t>{c.mapperId});

        empty.logger->Clear();
        withoutMappers.ProcessCleanupTask(Testing::MakeCleanupRequest({c.value}));
        EXPECT_EQ(empty.logger->Records(), (std::vector<Line>{Error(c.failure), Reschedule(name)}));
    }
}

TEST_F(CleanupEngine, NoDatabaseResourceMeansEveryMapperIsMissing) {
    kernel.provider->Withhold(6);
    Init();
    module.ProcessCleanupTask(Testing::MakeCleanupRequest({1, 6, 7, 13, 14}));
    EXPECT_EQ(
        kernel.logger->Records(),
        (std::vector<Line>{
            Error("Failed to cleanup replicated logs: mapper not available"),
            Error("Failed to cleanup storage: mapper not available"),
            Error("Failed to cleanup old logs: mapper or configuration resource is not available"),
            Error("Failed to cleanup tombstones of enrolled computers: mapper not available"),
            Error("Failed to cleanup static objects: mapper not available"),
            Reschedule("REPLICATED_LOGS,STORAGE,OLD_LOGS,ENROLLMENT_TOMBSTONES,STATIC_OBJECTS")}));
    EXPECT_EQ(ProgressCodes(), (std::vector<std::int64_t>{20, 30}));
}

TEST_F(CleanupEngine, AThrowingMapperFailsItsOperationAndTheRequestGoesOn) {
    kernel.cleanupMapper->FailWith("disk I/O error", CRecordingCleanupMapper::kEventLogs);
    Init();
    module.ProcessCleanupTask(Testing::MakeCleanupRequest({3, 9, 5}));
    EXPECT_EQ(
        kernel.logger->Records(),
        (std::vector<Line>{
            Info("Initiating event logs cleanup"), OperationFailed("EVENT_LOGS", "disk I/O error"),
            OperationFailed("OPERATION_9", kNotHandled), Info("Initiating ignored logs cleanup"),
            Info("Finished ignored logs cleanup"),
            Reschedule("EVENT_LOGS,IGNORED_LOGS,OPERATION_9")}));
    EXPECT_EQ(kernel.calls->Names(),
              (std::vector<std::string>{CRecordingCleanupMapper::kEventLogs,
                                        CRecordingCleanupMapper::kIgnoredLogs}));
    EXPECT_EQ(ProgressCodes(), (std::vector<std::int64_t>{20, 40}));
    auto last = boost::dynamic_pointer_cast<CEventLog>(kernel.bus->Sent().back().message);
    EXPECT_EQ(last->GetSymbols()->GetInt64(2836), 4);
}

TEST_F(CleanupEngine, OperationTableEdges) {
    Init();
    // Values 15 to 24 reach empty hooks (22 nothing at all): no line between
    // the two status events.
    module.ProcessCleanupTask(
        Testing::MakeCleanupRequest({15, 16, 17, 18, 19, 20, 21, 22, 23, 24}));
    EXPECT_EQ(kernel.logger->Records(),
              (std::vector<Line>{Reschedule("OPERATION_15,OPERATION_16,OPERATION_17,OPERATION_18,"
                                            "OPERATION_19,OPERATION_20,OPERATION_21,OPERATION_22,"
                                            "OPERATION_23,OPERATION_24")}));
    EXPECT_TRUE(kernel.calls->Calls().empty());
    EXPECT_EQ(ProgressCodes(), (std::vector<std::int64_t>{20, 30}));

    // 0 and 25 are unnamed and unhandled; 8 to 11 are named but unhandled; a
    // repeated value runs again; the key drops duplicates and sorts.
    kernel.logger->Clear();
    module.ProcessCleanupTask(Testing::MakeCleanupRequest({25, 1, 0, 8, 11, 1}));
    EXPECT_EQ(
        kernel.logger->Records(),
        (std::vector<Line>{
            OperationFailed("", kNotHandled), Info("Initiating replicated logs cleanup"),
            Info("Finished replicated logs cleanup"), OperationFailed("", kNotHandled),
            OperationFailed("OPERATION_8", kNotHandled),
            OperationFailed("OPERATION_11", kNotHandled),
            Info("Initiating replicated logs cleanup"), Info("Finished replicated logs cleanup"),
            Reschedule(",REPLICATED_LOGS,OPERATION_8,OPERATION_11,")}));
    EXPECT_EQ(ProgressCodes(), (std::vector<std::int64_t>{20, 30, 20, 40}));

    // {3,7} from 7, 3, 3 and empty braces for no operations.
    kernel.logger->Clear();
    module.ProcessCleanupTask(Testing::MakeCleanupRequest({7, 3, 3}));
    EXPECT_EQ(kernel.logger->Records().back(), Reschedule("EVENT_LOGS,OLD_LOGS"));
    kernel.logger->Clear();
    module.ProcessCleanupTask(Testing::MakeCleanupRequest({}));
    EXPECT_EQ(kernel.logger->Records(), std::vector<Line>{Reschedule("")});
}

TEST_F(CleanupEngine, OtherInstallationKindsSendNoEventAndChangeNothingElse) {
    kernel.installConfiguration->SetInstallationKind(0);
    Init();
    module.ProcessCleanupTask(Testing::MakeCleanupRequest({3, 9}));
    EXPECT_TRUE(kernel.bus->Sent().empty());
    EXPECT_EQ(
        kernel.logger->Records(),
        (std::vector<Line>{
            Info("Initiating event logs cleanup"), Info("Finished event logs cleanup"),
            OperationFailed("OPERATION_9", kNotHandled), Reschedule("EVENT_LOGS,OPERATION_9")}));
}

TEST_F(CleanupEngine, StatusEventCarriesTheNineSymbolsInOrder) {
    Init();
    auto context = boost::make_shared<Kol::Common::Security::CUserContext>();
    Kol::Common::Security::SetCurrentUserContext(context);
    const ptime before = Now();
    module.ProcessCleanupTask(Testing::MakeCleanupRequest({}));
    const ptime after = Now();

    const auto sent = kernel.bus->Sent();
    ASSERT_EQ(sent.size(), 2u);
    std::int64_t expectedProgress = 20;
    for (const auto& record : sent) {
        SCOPED_TRACE(expectedProgress);
        EXPECT_EQ(record.userContext, context);
        auto event = boost::dynamic_pointer_cast<CEventLog>(record.message);
        ASSERT_TRUE(event);
        EXPECT_EQ(event->GetType(), 10368);
        EXPECT_TRUE(event->IsReadOnly());
        EXPECT_NO_THROW(event->Validate());
        const Kol::Common::Logs::ISymbolContainerPtr symbols = event->GetSymbols();
        ASSERT_EQ(symbols->GetSymbolCount(), 9u);
        const std::int32_t ids[] = {2836, 2834, 2838, 2842, 2846, 2844, 2848, 2853, 2850};
        for (std::size_t i = 0; i < 9; ++i) {
            EXPECT_EQ(symbols->GetSymbolIdAt(i), ids[i]);
        }
        EXPECT_EQ(symbols->GetSymbolDataAt(0).val_int_size(), 1);  // int, not res_id
        EXPECT_EQ(symbols->GetInt64(2836), 1);
        EXPECT_EQ(symbols->GetUuid(2834).uuid(), Testing::CTestInstallConfiguration::kDefaultUuid);
        EXPECT_GE(symbols->GetTime(2838), before);
        EXPECT_LE(symbols->GetTime(2838), after);
        EXPECT_EQ(symbols->GetUuid(2842).uuid(), Testing::kRequestUuid1);
        EXPECT_EQ(symbols->GetUuid(2844).uuid(), Testing::kRequestUuid2);
        EXPECT_EQ(symbols->GetUuid(2846).uuid(), Testing::kRequestUuid3);
        EXPECT_EQ(symbols->GetResourceId(2848), -1);
        EXPECT_EQ(symbols->GetResourceId(2853), 0x0710000000000222LL);
        EXPECT_EQ(symbols->GetInt64(2850), expectedProgress);
        EXPECT_THROW(symbols->AddSymbol(1, true), std::runtime_error);  // locked

        Kol::Common::Logs::CSymbolContainer binary;
        binary.DeserializeBinary(symbols->SerializeBinary(symbols->GetBinarySize()));
        EXPECT_TRUE(binary.Equals(*symbols));
        std::string bytes;
        ASSERT_TRUE(symbols->Serialize(bytes));
        Kol::Common::Logs::CSymbolContainer protobuf;
        EXPECT_TRUE(protobuf.Deserialize(bytes));
        EXPECT_TRUE(protobuf.Equals(*symbols));
        expectedProgress = 30;
    }
}

TEST_F(CleanupEngine, AFailingFirstReportEndsTheRequestWithoutReschedule) {
    kernel.bus->FailSendsWith("bus is down");
    Init();
    try {
        module.ProcessCleanupTask(Testing::MakeCleanupRequest({1}));
        FAIL() << "the failure must be passed on";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "bus is down");
    }
    EXPECT_EQ(kernel.logger->Records(),
              std::vector<Line>{Error("Failed to process cleanup task request with: bus is down")});
    EXPECT_TRUE(kernel.calls->Calls().empty());
    EXPECT_EQ(kernel.bus->Sent().size(), 2u);  // 20, then the handler's 40
}

TEST_F(CleanupEngine, AMessageOfAnotherClassIsRejected) {
    Init();
    auto other =
        boost::make_shared<Testing::CTestMessage>(Kol::Common::Kernel::MessageType(2), "Other");
    try {
        module.ProcessCleanupTask(other);
        FAIL() << "must throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Received unexpected message type");
    }
    EXPECT_EQ(
        kernel.logger->Records(),
        std::vector<Line>{Error(
            "Failed to process cleanup task request with: Received unexpected message type")});
    EXPECT_TRUE(kernel.bus->Sent().empty());

    // Through the bus, dispatch refuses it before the handler.
    kernel.logger->Clear();
    module.Start();
    kernel.bus->Deliver(other, boost::make_shared<Kol::Common::Security::CUserContext>());
    ASSERT_TRUE(kernel.logger->WaitForText("Bad mapping of request type and message type",
                                           Testing::kWaitBound));
    EXPECT_TRUE(module.Stop(true));
    EXPECT_EQ(kernel.logger->Records(),
              std::vector<Line>{Error("Bad mapping of request type and message type")});
    EXPECT_TRUE(kernel.bus->Sent().empty());
}

TEST_F(CleanupEngine, FailedRequestThroughDispatchLeavesTwoErrorLines) {
    kernel.bus->FailSendsWith("bus is down");
    Init();
    module.Start();
    kernel.bus->Deliver(Testing::MakeCleanupRequest({1}),
                        boost::make_shared<Kol::Common::Security::CUserContext>());
    ASSERT_TRUE(kernel.logger->WaitFor(
        [](const std::vector<Line>& lines) { return lines.size() >= 2; }, Testing::kWaitBound));
    EXPECT_TRUE(module.Stop(true));
    EXPECT_EQ(kernel.logger->Records(),
              (std::vector<Line>{Error("Failed to process cleanup task request with: bus is down"),
                                 Error("bus is down")}));
}

TEST_F(CleanupEngine, AStopRequestedBeforeTheFirstOperationRunsNothing) {
    Init();
    std::mutex mutex;
    std::condition_variable wake;
    bool go = false;
    boost::thread worker([&] {
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [&] { return go; });
        }
        module.ProcessCleanupTask(Testing::MakeCleanupRequest({1, 3}));
    });
    worker.interrupt();
    {
        std::lock_guard<std::mutex> lock(mutex);
        go = true;
    }
    wake.notify_all();
    ASSERT_TRUE(worker.try_join_for(boost::chrono::seconds(10)));
    EXPECT_EQ(kernel.logger->Records(),
              (std::vector<Line>{Warn("The module is stopping. Cleanup process interrupted."),
                                 Reschedule("REPLICATED_LOGS,EVENT_LOGS")}));
    EXPECT_TRUE(kernel.calls->Calls().empty());
    EXPECT_EQ(ProgressCodes(), (std::vector<std::int64_t>{20, 30}));
}

TEST_F(CleanupEngine, ForcedStopLetsTheRunningOperationFinish) {
    kernel.cleanupMapper->BlockCalls(CRecordingCleanupMapper::kReplicatedLogs);
    Init();
    module.Start();
    kernel.bus->Deliver(Testing::MakeCleanupRequest({1, 3}),
                        boost::make_shared<Kol::Common::Security::CUserContext>());
    ASSERT_TRUE(kernel.cleanupMapper->WaitUntilBlocked(Testing::kWaitBound));

    bool stopped = false;
    boost::thread stopper([&] { stopped = module.Stop(true); });
    // The stop has asked for the interruption once the stopper waits in join;
    // give it a moment, then let the operation end.
    ASSERT_FALSE(stopper.try_join_for(boost::chrono::milliseconds(100)));
    kernel.cleanupMapper->Release();
    ASSERT_TRUE(stopper.try_join_for(boost::chrono::seconds(10)));
    EXPECT_TRUE(stopped);
    EXPECT_EQ(kernel.logger->Records(),
              (std::vector<Line>{Info("Initiating replicated logs cleanup"),
                                 Info("Finished replicated logs cleanup"),
                                 Warn("The module is stopping. Cleanup process interrupted."),
                                 Reschedule("REPLICATED_LOGS,EVENT_LOGS")}));
    EXPECT_EQ(ProgressCodes(), (std::vector<std::int64_t>{20, 30}));
}

}  // namespace
}  // namespace Cleanup
}  // namespace Kol
