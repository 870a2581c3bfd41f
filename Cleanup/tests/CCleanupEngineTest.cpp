// The cleanup engine driven through the recording test kernel: exact log
// lines in order with their levels, mapper calls with their arguments and
// mapper ids, and the status events taken from the bus.

#include <future>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include "Cleanup/CleanupAgent/CCleanupModule.h"
#include "framework/logs/tests/TestSupport.h"
#include "framework/message/CEventLog.h"
#include "framework/security/CUserContext.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/CTestMessage.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol::Cleanup {
namespace {

using boost::gregorian::days;
using boost::posix_time::ptime;
using Kol::Common::Message::Logs::CEventLog;
using Testing::CTestKernel;
typedef Testing::CTestLogger::Record Line;
typedef std::vector<std::string> Names;
typedef std::vector<std::int32_t> Ids;
typedef std::vector<Line> Lines;
typedef std::vector<std::int64_t> Codes;

Line Info(const std::string& text) {
    return {text, 2, "CCleanupModule"};
}
Line Error(const std::string& text) {
    return {text, 4, "CCleanupModule"};
}
Line Reschedule(const std::string& names) {
    return Info("Failed to re-schedule a cleanup: operation {" + names + "} is not registered");
}
Line Missing(const std::string& what) {
    return Error("Failed to cleanup " + what + ": mapper not available");
}
Line OperationFailed(const std::string& name, const std::string& what) {
    return Error("Failed to process cleanup operation " + name + " with error: " + what);
}
const Line kInterrupted{"The module is stopping. Cleanup process interrupted.", 3,
                        "CCleanupModule"};
const char* const kNotHandled = "CCleanupModuleBase::ProcessCleanupTask: Enum is not handled";
const char* const kOldLogsFailure =
    "Failed to cleanup old logs: mapper or configuration resource is not available";

// A module on a complete test kernel. Tests change the kernel, then Init().
struct Engine {
    // Initialises the module, then forgets its "Module initialized" line.
    void Init() {
        module.Initialize(kernel.provider);
        kernel.logger->Clear();
    }
    void Run(const std::vector<std::int32_t>& operations) {
        module.ProcessCleanupTask(Testing::MakeCleanupRequest(operations));
    }
    Lines Logged() const { return kernel.logger->Records(); }

    // Progress codes of the status events sent so far.
    Codes ProgressCodes() const {
        Codes codes;
        for (const auto& sent : kernel.bus->Sent()) {
            auto event = boost::dynamic_pointer_cast<CEventLog>(sent.message);
            codes.push_back(event ? event->GetSymbols()->GetInt64(2850) : -999);
        }
        return codes;
    }

    CTestKernel kernel;
    Agent::CCleanupModule module;
};
class CleanupEngine : public ::testing::Test, public Engine {
protected:
    using Engine::Run;
};

// Other installation kinds than 1 send no status event and otherwise work
// alike, except that only kind 1 backs up the database.
TEST_F(CleanupEngine, StorageIsFollowedByBackupOnlyOnKindOne) {
    const Line store[] = {Info("Initiating storage cleanup"), Info("Finished storage cleanup")};
    const Line back[] = {Info("Initiating database backup"), Info("Finished database backup")};
    const Line noStorage = Missing("storage");
    const Line noBackup = Error("Failed to backup database: mapper not available");
    const char* const kStorage = "ICleanupStorageMapper";
    // Installation kind, storage and backup mapper present; requested mapper
    // ids, mapper calls, lines before the re-scheduling one.
    const std::tuple<std::int32_t, bool, bool, Ids, Names, Lines> cases[] = {
        // clang-format off
        {1, true, true, {21, 365}, {kStorage, "IBackupMapper"}, {store[0], store[1], back[0], back[1]}},
        {2, true, true, {21}, {kStorage}, {store[0], store[1]}},
        {0, true, true, {21}, {kStorage}, {store[0], store[1]}},
        {1, false, true, {21}, {}, {noStorage}},
        {2, false, true, {21}, {}, {noStorage}},
        {1, true, false, {21, 365}, {kStorage}, {store[0], store[1], noBackup}},
        // clang-format on
    };
    for (auto [kind, storageMapper, backupMapper, ids, calls, lines] : cases) {
        SCOPED_TRACE(testing::Message() << kind << storageMapper << backupMapper);
        Engine e;
        e.kernel.installConfiguration->kind = kind;
        e.kernel.database->Set(21, storageMapper ? e.kernel.mapper : nullptr);
        e.kernel.database->Set(365, backupMapper ? e.kernel.mapper : nullptr);
        e.Init();
        e.Run({6});
        lines.push_back(Reschedule("STORAGE"));
        EXPECT_EQ(e.Logged(), lines);
        EXPECT_EQ(e.kernel.mapper->Names(), calls);
        EXPECT_EQ(e.kernel.database->Requests(), ids);
        // Only kind 1 reports its progress.
        EXPECT_EQ(e.kernel.bus->Sent().size(), kind == 1 ? 2u : 0u);
    }
}

// Old logs: the five retention periods back from the current second;
// tombstones: five days back from it.
TEST_F(CleanupEngine, CutOffsAreCountedBackFromTheCurrentSecond) {
    kernel.serverConfiguration->days = {{0, 1, 30, 365, 65535}};
    Init();
    const ptime before = boost::posix_time::second_clock::universal_time();
    Run({7, 13});
    const ptime after = boost::posix_time::second_clock::universal_time();

    EXPECT_EQ(kernel.database->Requests(), (Ids{21, 361}));
    const auto calls = kernel.mapper->Calls();
    ASSERT_EQ(kernel.mapper->Names(),
              (Names{"ICleanupOldLogsMapper", "IComputerEnrollementMapper"}));
    ASSERT_EQ(calls[1].arguments.size(), 1u);
    for (const ptime now : {calls[0].arguments.at(0), calls[1].arguments[0] + days(5)}) {
        EXPECT_TRUE(now >= before && now <= after);
        EXPECT_EQ(now.time_of_day().fractional_seconds(), 0);
    }
    const ptime now = calls[0].arguments[0];
    EXPECT_EQ(calls[0].arguments, (Testing::Cutoffs{now, now - days(1), now - days(30),
                                                    now - days(365), now - days(65535)}));
    EXPECT_EQ(Logged(),
              (Lines{Info("Initiating old logs cleanup"), Info("Finished old logs cleanup"),
                     Info("Initiating cleaning computer enrollement tombstone"),
                     Info("Finished cleaning computer enrollement tombstone"),
                     Reschedule("OLD_LOGS,ENROLLMENT_TOMBSTONES")}));
}

TEST_F(CleanupEngine, OldLogsWithoutServerConfigurationOrMapperOnlyFails) {
    for (const bool serverConfiguration : {false, true}) {
        SCOPED_TRACE(serverConfiguration);
        Engine e;
        if (serverConfiguration) {
            e.kernel.database->Set(21, nullptr);
        } else {
            e.kernel.provider->Set(
                11, boost::make_shared<Kol::Common::Kernel::IConfigurationResource>());
        }
        e.Init();
        e.Run({7});
        EXPECT_EQ(e.Logged(), (Lines{Error(kOldLogsFailure), Reschedule("OLD_LOGS")}));
        EXPECT_TRUE(e.kernel.mapper->Calls().empty());
    }
}

// Every operation finds no mapper: its own failure line, and the request
// still counts as succeeded.
TEST_F(CleanupEngine, NoDatabaseResourceMeansEveryMapperIsMissing) {
    kernel.provider->Withhold(6);
    Init();
    Run({1, 2, 3, 4, 5, 6, 7, 12, 13, 14});
    EXPECT_EQ(
        Logged(),
        (Lines{
            Missing("replicated logs"), Missing("obsolete delta logs"), Missing("event logs"),
            Missing("abandoned logs"), Missing("ignored logs"), Missing("storage"),
            Error(kOldLogsFailure), Missing("indexes"), Missing("tombstones of enrolled computers"),
            Missing("static objects"),
            Reschedule("REPLICATED_LOGS,OBSOLETE_DELTA_LOGS,EVENT_LOGS,ABANDONED_LOGS,IGNORED_LOGS,"
                       "STORAGE,OLD_LOGS,INDEXES,ENROLLMENT_TOMBSTONES,STATIC_OBJECTS")}));
    EXPECT_EQ(ProgressCodes(), (Codes{20, 30}));
}

TEST_F(CleanupEngine, AThrowingMapperFailsItsOperationAndTheRequestGoesOn) {
    kernel.mapper->onCall = [](const std::string& call) {
        if (call == "ICleanupEventLogsMapper") {
            throw std::runtime_error("disk I/O error");
        }
    };
    Init();
    Run({3, 9, 5});
    EXPECT_EQ(Logged(),
              (Lines{Info("Initiating event logs cleanup"),
                     OperationFailed("EVENT_LOGS", "disk I/O error"),
                     OperationFailed("OPERATION_9", kNotHandled),
                     Info("Initiating ignored logs cleanup"), Info("Finished ignored logs cleanup"),
                     Reschedule("EVENT_LOGS,IGNORED_LOGS,OPERATION_9")}));
    EXPECT_EQ(kernel.mapper->Names(),
              (Names{"ICleanupEventLogsMapper", "ICleanupIgnoredLogsMapper"}));
    EXPECT_EQ(ProgressCodes(), (Codes{20, 40}));
    // The failure level in the last event, frozen before it was sent.
    auto last = boost::dynamic_pointer_cast<CEventLog>(kernel.bus->Sent().back().message);
    EXPECT_EQ(last->GetSymbols()->GetInt64(2836), 4);
    EXPECT_TRUE(last->IsReadOnly());
    EXPECT_THROW(last->GetSymbols()->AddSymbol(1, true), std::runtime_error);
}

TEST_F(CleanupEngine, OperationTableEdges) {
    Init();
    // Values 15 to 24 reach empty hooks (22 nothing at all): no line between
    // the two status events.
    Run({15, 16, 17, 18, 19, 20, 21, 22, 23, 24});
    EXPECT_EQ(
        Logged(),
        (Lines{Reschedule("OPERATION_15,OPERATION_16,OPERATION_17,OPERATION_18,OPERATION_19,"
                          "OPERATION_20,OPERATION_21,OPERATION_22,OPERATION_23,OPERATION_24")}));
    EXPECT_TRUE(kernel.mapper->Calls().empty());
    EXPECT_EQ(ProgressCodes(), (Codes{20, 30}));

    // 0 and 25 are unnamed and unhandled; 8 to 11 are named but unhandled; a
    // repeated value runs again; the key drops duplicates and sorts.
    kernel.logger->Clear();
    Run({25, 1, 0, 8, 11, 1});
    const Line replicated[] = {Info("Initiating replicated logs cleanup"),
                               Info("Finished replicated logs cleanup")};
    EXPECT_EQ(Logged(),
              (Lines{OperationFailed("", kNotHandled), replicated[0], replicated[1],
                     OperationFailed("", kNotHandled), OperationFailed("OPERATION_8", kNotHandled),
                     OperationFailed("OPERATION_11", kNotHandled), replicated[0], replicated[1],
                     Reschedule(",REPLICATED_LOGS,OPERATION_8,OPERATION_11,")}));
    EXPECT_EQ(ProgressCodes(), (Codes{20, 30, 20, 40}));

    // {3,7} from 7, 3, 3 and empty braces for no operations.
    kernel.logger->Clear();
    Run({7, 3, 3});
    EXPECT_EQ(Logged().back(), Reschedule("EVENT_LOGS,OLD_LOGS"));
    kernel.logger->Clear();
    Run({});
    EXPECT_EQ(Logged(), Lines{Reschedule("")});
}

// A type 2 message of another class through the bus is refused by dispatch
// (ModuleRuntime); called directly, the handler refuses it itself.
TEST_F(CleanupEngine, AMessageOfAnotherClassIsRejected) {
    Init();
    EXPECT_EQ(Kol::Common::Logs::Test::ErrorText<std::runtime_error>([&] {
                  module.ProcessCleanupTask(boost::make_shared<Testing::CTestMessage>(2, "Other"));
              }),
              "Received unexpected message type");
    EXPECT_EQ(Logged(), Lines{Error("Failed to process cleanup task request with: "
                                    "Received unexpected message type")});
    EXPECT_TRUE(kernel.bus->Sent().empty());
}

// The handler logs the failure and passes it on (dispatch logs its bare
// text); no operation runs and nothing is re-scheduled.
TEST_F(CleanupEngine, AFailingFirstReportEndsTheRequestWithoutReschedule) {
    kernel.bus->FailSendsWith("bus is down");
    Init();
    module.Start();
    kernel.bus->Deliver(Testing::MakeCleanupRequest({1}),
                        boost::make_shared<Kol::Common::Security::CUserContext>());
    ASSERT_TRUE(Testing::WaitUntil([&] { return Logged().size() >= 2; }));
    EXPECT_TRUE(module.Stop(true));
    EXPECT_EQ(Logged(), (Lines{Error("Failed to process cleanup task request with: bus is down"),
                               Error("bus is down")}));
    EXPECT_TRUE(kernel.mapper->Calls().empty());
    EXPECT_EQ(kernel.bus->Sent().size(), 2u);  // 20, then the handler's 40
}

TEST_F(CleanupEngine, AStopRequestedBeforeTheFirstOperationRunsNothing) {
    Init();
    boost::thread worker([&] {
        while (!boost::this_thread::interruption_requested()) {
            boost::this_thread::yield();
        }
        Run({1, 3});
    });
    worker.interrupt();
    ASSERT_TRUE(worker.try_join_for(boost::chrono::seconds(10)));
    EXPECT_EQ(Logged(), (Lines{kInterrupted, Reschedule("REPLICATED_LOGS,EVENT_LOGS")}));
    EXPECT_TRUE(kernel.mapper->Calls().empty());
    EXPECT_EQ(ProgressCodes(), (Codes{20, 30}));
}

TEST_F(CleanupEngine, ForcedStopLetsTheRunningOperationFinish) {
    // The replicated logs mapper waits until released, and the wait is no
    // interruption point, like a database statement in progress.
    std::promise<void> reached, release;
    std::shared_future<void> released = release.get_future().share();
    kernel.mapper->onCall = [&](const std::string& call) {
        if (call == "ICleanupReplicatedLogsMapper") {
            reached.set_value();
            released.wait();
        }
    };
    Init();
    module.Start();
    kernel.bus->Deliver(Testing::MakeCleanupRequest({1, 3}),
                        boost::make_shared<Kol::Common::Security::CUserContext>());
    ASSERT_EQ(reached.get_future().wait_for(Testing::kWaitBound), std::future_status::ready);

    bool stopped = false;
    boost::thread stopper([&] { stopped = module.Stop(true); });
    // The stop has asked for the interruption once the stopper waits in join;
    // give it a moment, then let the operation end.
    ASSERT_FALSE(stopper.try_join_for(boost::chrono::milliseconds(100)));
    release.set_value();
    ASSERT_TRUE(stopper.try_join_for(boost::chrono::seconds(10)));
    EXPECT_TRUE(stopped);
    EXPECT_EQ(Logged(), (Lines{Info("Initiating replicated logs cleanup"),
                               Info("Finished replicated logs cleanup"), kInterrupted,
                               Reschedule("REPLICATED_LOGS,EVENT_LOGS")}));
    EXPECT_EQ(ProgressCodes(), (Codes{20, 30}));
}

}  // namespace
}  // namespace Kol::Cleanup
