#include <cstring>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <boost/date_time/posix_time/conversion.hpp>
#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include "contracts/database/IBackupMapper.h"
#include "contracts/database/ICleanupEventLogsMapper.h"
#include "contracts/database/IComputerEnrollementMapper.h"
#include "contracts/message/CCleanupLogs.h"
#include "host/kernel/CHostBus.h"
#include "host/kernel/CHostLogger.h"
#include "host/kernel/CStoreDatabaseResource.h"
#include "host/report/CModuleLineReader.h"
#include "host/report/CResultWriter.h"
#include "host/report/CRunReport.h"
#include "host/store/CUnits.h"
#include "host/testing/CGarblingVfs.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using namespace Kol::Common::Database;
using Kol::Host::CHostBus;
using Kol::Host::CHostLogger;
using Kol::Host::CModuleLineReader;
using Kol::Host::CResultWriter;
using Kol::Host::CRunReport;
using Kol::Host::CStoreDatabaseResource;
using Kol::Host::CStoreMapper;
using Kol::Host::CUnits;
using Kol::Host::Testing::CGarblingVfs;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using ::testing::ThrowsMessage;

TEST(HostLogger, FormatsTimeAndLevelsAndFiltersByThreshold) {
    EXPECT_EQ(CUnits::Time(std::timespec{0, 5000000}), "1970-01-01T00:00:00.005Z");
    EXPECT_EQ(CUnits::Time(std::timespec{1700000000, 999999999}), "2023-11-14T22:13:20.999Z");
    // The names of levels 1, 3 and 4 show in the lines below, INFO in every
    // line of the end-to-end runs.
    EXPECT_EQ(CHostLogger::LevelName(7), "LEVEL7");

    std::ostringstream out;
    std::vector<std::string> seen;
    CHostLogger logger(
        out, 3, [&seen](const std::string& text, std::int32_t level, const std::string& module) {
            seen.push_back(module + "/" + std::to_string(level) + "/" + text);
        });
    logger.Log("debug", 1, "CCleanupModule");
    logger.Log("info", 2, "CCleanupModule");
    logger.Log("warning", 3, "CCleanupModule");
    logger.Log("error", 4, "host");
    EXPECT_EQ(logger.GetLogLevel(), 3);
    logger.SetLogLevel(1);
    logger.Log("debug again", 1, "host");
    // Text from outside never ends a record early nor forges another one.
    logger.Log("db a\n2026-01-01T00:00:00.000Z ERROR host: forged\x1b[2J", 3, "ho\rst");
    EXPECT_EQ(CHostLogger::Escape("\t\x01\x7f \xc2\x85\xc2\x9f \xc2\xa0 \xc3\xa9 \\n"),
              "\\t\\x01\\x7f \\u0085\\u009f \xc2\xa0 \xc3\xa9 \\n");

    std::istringstream lines(out.str());
    std::vector<std::string> texts;
    const std::regex format(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (.*)$)");
    for (std::string line; std::getline(lines, line);) {
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(line, parts, format)) << line;
        texts.push_back(parts[1]);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"WARNING CCleanupModule: warning",
                                               "ERROR host: error", "DEBUG host: debug again",
                                               "WARNING ho\\rst: db a\\n2026-01-01T00:00:00.000Z "
                                               "ERROR host: forged\\x1b[2J"}));
    EXPECT_EQ(seen, (std::vector<std::string>{"CCleanupModule/1/debug", "CCleanupModule/2/info",
                                              "CCleanupModule/3/warning", "host/4/error",
                                              "host/1/debug again",
                                              "ho\rst/3/db a\n2026-01-01T00:00:00.000Z ERROR "
                                              "host: forged\x1b[2J"}));
}

TEST(HostLogger, LinesOfSeveralThreadsNeverMix) {
    std::ostringstream out;
    CHostLogger logger(out, 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&logger, t] {
            for (int i = 0; i < 200; ++i) {
                logger.Log("thread " + std::to_string(t) + " line " + std::to_string(i), 2, "host");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::istringstream lines(out.str());
    std::vector<int> next(4, 0);
    const std::regex format(R"(^\S+Z INFO host: thread (\d) line (\d+)$)");
    for (std::string line; std::getline(lines, line);) {
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(line, parts, format)) << line;
        const int thread = std::stoi(parts[1]);
        EXPECT_EQ(std::stoi(parts[2]), next[thread]++);  // each thread's own order is kept
    }
    EXPECT_EQ(next, std::vector<int>(4, 200));  // and none is lost
}

CRunReport::MapperCall Call(const char* label, std::uint64_t rows, std::int64_t freed,
                            bool interrupted) {
    return {label, rows, freed, freed / 2, 0.5, 0.0125, interrupted, false, false, "", {}, {}};
}

// The report follows the module's lines along the request: silent hooks, an
// unhandled value, storage with its backup, an interruption.
TEST(RunReport, FollowsTheModuleThroughTheRequestAndSummarizes) {
    CRunReport report({8, 7, 15, 6, 3, 25, 14});
    CModuleLineReader reader(report);
    const char* const failure = "Failed to process cleanup operation ";
    EXPECT_EQ(*reader.Read(std::string(failure) + "OPERATION_8 with error: E", 4), 8);
    reader.Read("Initiating old logs cleanup", 2);
    report.AddMapperCall(Call("old-logs", 10, 4096, false));
    reader.Read("Finished old logs cleanup", 2);
    reader.Read("Initiating storage cleanup", 2);
    report.AddMapperCall(Call("storage", 2, 100, false));
    reader.Read("Initiating database backup", 2);
    report.AddMapperCall(Call("backup", 0, 0, false));
    reader.Read("Initiating event logs cleanup", 2);
    report.BeginMapperCall("event-logs");
    report.UpdateMapperCall(3);
    EXPECT_EQ(report.GetRunningCall()->rows, 3u);
    report.AddMapperCall(Call("event-logs", 5, 3 << 20, true));
    EXPECT_FALSE(report.GetRunningCall());
    EXPECT_FALSE(reader.Read("Failed to cleanup storage: mapper not available", 4));
    reader.Read("The module is stopping. Cleanup process interrupted.", 3);
    report.MarkNotRun("interrupted by SIGINT");

    CResultWriter::Run run;
    run.start = {100, 0};
    run.end = {102, 500000000};
    run.signal = "SIGINT";
    EXPECT_EQ(CResultWriter::Summary(report, run),
              (std::vector<std::string>{
                  "summary: operation-8: failed: E",
                  "summary: old-logs: removed 10 rows, freed 4.0 KiB (4096 bytes) inside the "
                  "file, returned 2.0 KiB (2048 bytes) to the file system in 0.500 s",
                  "summary: operation-15: succeeded (a hook this module leaves empty)",
                  "summary: storage: removed 2 rows, freed 100 bytes inside the file, returned "
                  "50 bytes to the file system in 1.000 s",
                  "summary: event-logs: removed 5 rows, freed 3.0 MiB (3145728 bytes) inside the "
                  "file, returned 1.5 MiB (1572864 bytes) to the file system in 0.500 s; "
                  "interrupted, the rest is left for a later run",
                  "summary: 25: not run (interrupted by SIGINT)",
                  "summary: static-objects: not run (interrupted by SIGINT)",
                  "summary: total: removed 17 rows, freed 3.0 MiB (3149924 bytes) inside the "
                  "file, returned 1.5 MiB (1574962 bytes) to the file system; longest write "
                  "transaction 0.013 s; elapsed 2.500 s",
                  "summary: not run: 25 (interrupted by SIGINT), static-objects (interrupted by "
                  "SIGINT)",
                  "summary: final status unknown: no status event came; interrupted by SIGINT"}));

    // The final status in words, and the dry run's wording.
    CRunReport ran({15, 25});
    CModuleLineReader ranReader(ran);
    ran.AddStatusEvent(20, 1);
    EXPECT_TRUE(ran.HasFailed(true));  // the final event has not come yet
    ranReader.Read(std::string(failure) + " with error: E", 4);
    ran.AddStatusEvent(40, 4);
    run.signal.clear();
    run.dryRun = true;
    const std::vector<std::string> lines = CResultWriter::Summary(ran, run);
    EXPECT_EQ(lines[2],
              "summary: total: would remove 0 rows, would free 0 bytes inside the file, would "
              "return 0 bytes to the file system; longest write transaction 0.000 s; elapsed "
              "2.500 s");
    run.statusEventsExpected = false;
    EXPECT_EQ(CResultWriter::Summary(ran, run).back(),
              "summary: final status failed (1 failure lines; this installation kind sends no "
              "status events)");
    EXPECT_EQ(CUnits::Size(-1536), "-1.5 KiB (-1536 bytes)");
    EXPECT_EQ(CUnits::Size(18829312), "18.0 MiB (18829312 bytes)");
}

class RecordingSubscriber : public Kol::Common::Kernel::ISubscriber {
public:
    void OnMessage(const Kol::Common::Kernel::IMessagePtr& message,
                   const UserContextPtr&) override {
        if (!m_failure.empty()) {
            throw std::runtime_error(m_failure);
        }
        m_message = message;
        m_thread = std::this_thread::get_id();
    }
    bool DescribeQueue(std::string& text) override {
        text.clear();
        return true;
    }
    void ForEachQueued(const QueueVisitor&) override {}

    std::string m_failure;
    Kol::Common::Kernel::IMessagePtr m_message;
    std::thread::id m_thread;
};

TEST(HostBus, DeliversOnItsOwnThreadAndPassesSentMessagesToTheObserver) {
    Kol::Common::Kernel::IMessagePtr sent;
    CHostBus bus([&sent](const Kol::Common::Kernel::IMessagePtr& message,
                         const CHostBus::UserContextPtr&) { sent = message; });
    const auto request = boost::make_shared<Kol::Common::Message::Cleanup::CCleanupLogs>();
    const std::chrono::milliseconds timeout(10000);
    EXPECT_EQ(bus.Deliver(request, CHostBus::UserContextPtr(), timeout), 0u);

    const auto subscriber = boost::make_shared<RecordingSubscriber>();
    bus.Subscribe(subscriber, Kol::Common::Kernel::MessageTypeCleanupLogs);
    bus.Subscribe(boost::make_shared<RecordingSubscriber>(),
                  Kol::Common::Kernel::MessageTypeCleanupStatusEvent);
    EXPECT_EQ(bus.CountSubscribers(Kol::Common::Kernel::MessageTypeCleanupLogs), 1u);
    EXPECT_EQ(bus.Deliver(request, CHostBus::UserContextPtr(), timeout), 1u);
    EXPECT_EQ(subscriber->m_message, request);
    EXPECT_NE(subscriber->m_thread, std::this_thread::get_id());

    subscriber->m_failure = "queue is full";
    EXPECT_THAT([&] { bus.Deliver(request, CHostBus::UserContextPtr(), timeout); },
                ThrowsMessage<std::exception>("queue is full"));

    EXPECT_TRUE(bus.Send(request, CHostBus::UserContextPtr()));
    EXPECT_EQ(sent, request);
    bus.DropSubscribers();
    EXPECT_EQ(bus.CountSubscribers(Kol::Common::Kernel::MessageTypeCleanupLogs), 0u);
}

class Mappers : public ::testing::Test {
protected:
    void SetUp() override {
        m_context.store = CTestStore::OpenStore(m_directory + "/agent.db");
        m_context.report = boost::make_shared<CRunReport>();
        m_context.logger = boost::make_shared<CHostLogger>(m_out, 1);
        m_context.batchRows = 2;
        m_database.reset(new CStoreDatabaseResource(m_context));
    }

    const CScratchDirectory m_scratch;
    const std::string m_directory = m_scratch.path;
    std::ostringstream m_out;
    CStoreMapper::Context m_context;
    std::unique_ptr<CStoreDatabaseResource> m_database;
};

template <typename Interface>
boost::shared_ptr<Interface> As(const IMapperPtr& mapper) {
    return boost::dynamic_pointer_cast<Interface>(mapper);
}

TEST_F(Mappers, AFailureIsReportedInTheHostLineAndPassedOn) {
    m_context.store->SetSetting("max_event_logs_per_type", "many");
    EXPECT_THAT([this] { As<ICleanupEventLogsMapper>(m_database->GetMapper(21))->Cleanup(); },
                ThrowsMessage<std::exception>(
                    "store setting max_event_logs_per_type: \"many\" is not a count of logs"));
    EXPECT_TRUE(m_context.report->GetMapperCalls().back().failed);
    EXPECT_THAT(m_out.str(), HasSubstr(" ERROR host: event-logs: failed after "));
    EXPECT_THAT(m_out.str(),
                HasSubstr(" s, 0 rows removed before: store setting "
                          "max_event_logs_per_type: \"many\" is not a count of logs\n"));
    EXPECT_THAT(
        [this] {
            As<IComputerEnrollementMapper>(m_database->GetMapper(361))
                ->CleanupTombstones(boost::posix_time::ptime());
        },
        ThrowsMessage<std::exception>("the tombstone cut-off is not a valid point in time"));
}

TEST_F(Mappers, ABackupWhoseCopyFailsItsCheckReplacesNothing) {
    const std::string backup = m_directory + "/agent.db.bak";
    CTestStore::WriteFile(backup, "the previous backup");
    {
        const CGarblingVfs garbling;
        EXPECT_THAT([this] { As<IBackupMapper>(m_database->GetMapper(365))->Backup(); },
                    ThrowsMessage<std::exception>(StartsWith(
                        "backup to " + backup + " failed: the copy failed quick_check: ")));
    }
    EXPECT_EQ(CTestStore::ReadFile(backup), "the previous backup");
    EXPECT_EQ(CTestStore::Files(m_directory),
              (std::set<std::string>{"agent.db", "agent.db-shm", "agent.db-wal", "agent.db.bak",
                                     "agent.db.lock"}));
    // Without the garbling the same store backs up fine.
    As<IBackupMapper>(m_database->GetMapper(365))->Backup();
    EXPECT_EQ(CTestStore(backup).Text("PRAGMA integrity_check"), "ok");
}

}  // namespace
