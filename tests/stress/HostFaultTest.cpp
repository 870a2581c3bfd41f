// The real cleanup-agent on a store whose disk is full for a moment in the
// middle of a mapper's work (--inject-write-faults): the failing batch is
// rolled back, earlier batches stay, the store stays sound, the request ends
// with status 40 and exit 1, and the failure is named. On a nearly full disk
// (--inject-disk-space) the cleanup still gets through.
#include <atomic>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/logs/CSymbolContainer.h"
#include "host/tests/CAgentProcess.h"
#include "host/tests/CScratchDirectory.h"
#include "host/tests/CTestStore.h"

namespace Kol::Testing {
namespace {

using Host::Testing::CAgentProcess;
using Host::Testing::CTestStore;

const int kReplicated = 20000;
const int kKept = 1000;
const int kBatchRows = 100;
const std::int32_t kProgressSymbol = 2850;

// A scratch directory with the path of a store in it.
struct CScratchStore {
    const Host::Testing::CScratchDirectory directory;
    const std::string db = directory.path + "/agent.db";
};

std::vector<std::int64_t> ProgressCodes(CTestStore& store) {
    std::vector<std::int64_t> codes;
    for (const std::string& blob : store.Blobs("SELECT symbols FROM status_events ORDER BY id")) {
        Common::Logs::CSymbolContainer symbols;
        symbols.DeserializeBinary(blob);
        codes.push_back(symbols.GetInt64(kProgressSymbol));
    }
    return codes;
}

TEST(HostFaults, AFullDiskPartWayThroughAMapperLeavesTheStoreSoundAndTheRequestFailed) {
    CScratchStore scratch;
    std::string out;
    std::string err;
    ASSERT_EQ(CAgentProcess::Run({"--db", scratch.db, "--create"}, &out, &err), 0) << err;
    std::vector<std::int64_t> kept;
    {
        CTestStore store(scratch.db);
        const std::string now = std::to_string(std::time(nullptr));
        store.Execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                      std::to_string(kReplicated + kKept) +
                      ") INSERT INTO logs(log_type, retention_class, created_at, replicated,"
                      " symbols) SELECT 1, 5, " +
                      now + ", i <= " + std::to_string(kReplicated) + ", randomblob(100) FROM n");
        store.Execute("INSERT INTO static_objects(name, deleted) VALUES ('a', 1), ('b', 0)");
        kept = store.Ints("SELECT id FROM logs WHERE replicated = 0 ORDER BY id");
    }

    // The status event of the start takes the first few dozen writes; the
    // 201st lands in one of the first batches of the replicated logs.
    CAgentProcess agent({"--db", scratch.db, "--batch-rows", std::to_string(kBatchRows),
                         "--inject-write-faults", "200,1", "replicated-logs", "static-objects"});
    EXPECT_EQ(agent.Wait(std::chrono::seconds(120)), 1) << agent.Out() << agent.Err();

    std::vector<std::string> statusLines;
    for (const std::string& text : agent.Texts("host")) {
        if (text.compare(0, 18, "INFO status event ") == 0) {
            statusLines.push_back(text.substr(text.find(':')));
        }
    }
    const std::vector<std::string> expectedModuleLines = {
        "INFO Module initialized",
        "INFO Initiating replicated logs cleanup",
        "ERROR Failed to process cleanup operation REPLICATED_LOGS with error: database or disk "
        "is full",
        "INFO Initiating static objects cleanup",
        "INFO Finished static objects cleanup",
        "INFO Failed to re-schedule a cleanup: operation {REPLICATED_LOGS,STATIC_OBJECTS} is not "
        "registered",
    };
    EXPECT_EQ(agent.Texts("CCleanupModule"), expectedModuleLines) << agent.Out();
    EXPECT_EQ(statusLines,
              (std::vector<std::string>{": progress 20, level 1", ": progress 40, level 4"}))
        << agent.Out();

    CTestStore store(scratch.db);
    EXPECT_EQ(store.Text("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(ProgressCodes(store), (std::vector<std::int64_t>{20, 40}));
    EXPECT_EQ(store.Ints("SELECT id FROM logs WHERE replicated = 0 ORDER BY id"), kept);
    EXPECT_EQ(store.Int("SELECT count(*) FROM static_objects WHERE deleted = 1"), 0);
    // Part-way: whole batches from the lowest keys up, the failing one undone.
    const std::int64_t left = store.Int("SELECT count(*) FROM logs WHERE replicated = 1");
    const std::int64_t removed = kReplicated - left;
    EXPECT_GT(removed, 0);
    EXPECT_LT(removed, kReplicated);
    EXPECT_EQ(removed % kBatchRows, 0) << removed;
    EXPECT_EQ(store.Int("SELECT min(id) FROM logs WHERE replicated = 1"), removed + 1);
    // Every committed batch is counted, in the failure line and in the summary.
    const std::string rows = std::to_string(removed) + " rows";
    EXPECT_NE(agent.Out().find(" s, " + rows + " removed before: database or disk is full\n"),
              std::string::npos)
        << agent.Out();
    EXPECT_NE(agent.Out().find("summary: replicated-logs: failed: database or disk is full; "
                               "before that removed " +
                               rows + ", "),
              std::string::npos)
        << agent.Out();

    EXPECT_EQ(agent.Out().find("before that removed " + rows + ", freed 0 bytes"),
              std::string::npos)
        << agent.Out();

    // The store is usable as it is: a later run removes the rest.
    std::string again;
    EXPECT_EQ(CAgentProcess::Run({"--db", scratch.db, "replicated-logs"}, &again, &err), 0)
        << again << err;
    EXPECT_EQ(store.Int("SELECT count(*) FROM logs WHERE replicated = 1"), 0);
    EXPECT_EQ(store.Ints("SELECT id FROM logs WHERE replicated = 0 ORDER BY id"), kept);
}

TEST(HostFaults, AWriterHoldingTheLockForSecondsDelaysARunButDoesNotFailIt) {
    CScratchStore scratch;
    ASSERT_EQ(CAgentProcess::Run({"--db", scratch.db, "--create"}), 0);
    CTestStore(scratch.db)
        .Execute(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500)"
            " INSERT INTO logs(log_type, retention_class, created_at, replicated)"
            " SELECT 1, 5, 0, 1 FROM n");
    // The writer holds the lock 6 s first (longer than SQLite's usual busy
    // timeouts), then 2 s at a time, with gaps of 50 ms.
    std::atomic<bool> done{false};
    std::atomic<int> holds{0};
    std::string failure;
    std::thread writer([&] {
        try {
            CTestStore store(scratch.db);
            while (!done) {
                store.Execute("BEGIN IMMEDIATE");
                ++holds;
                for (int i = 0; i < (holds == 1 ? 120 : 40) && !done; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
                store.Execute("COMMIT");
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    for (int i = 0; i < 1000 && holds == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    CAgentProcess agent({"--db", scratch.db, "--batch-rows", "100", "replicated-logs"});
    const int status = agent.Wait(std::chrono::seconds(200));
    done = true;
    writer.join();
    EXPECT_EQ(status, 0) << agent.Out() << agent.Err();
    EXPECT_EQ(failure, "");
    EXPECT_EQ(CTestStore(scratch.db).Int("SELECT count(*) FROM logs"), 0);
}

TEST(HostFaults, ANearlyFullDiskStillTakesEveryBatchThatFits) {
    CScratchStore scratch;
    ASSERT_EQ(CAgentProcess::Run({"--db", scratch.db, "--seed-demo", "100000"}), 0);
    // Past their retention now, so also when the program looks.
    const std::string gone =
        "SELECT count(*) FROM logs WHERE replicated = 1 OR created_at < " +
        std::to_string(std::time(nullptr)) +
        " - CASE retention_class WHEN 1 THEN 30 WHEN 2 THEN 90 WHEN 3 THEN 180 WHEN 4 THEN 365 "
        "ELSE 730 END * 86400";
    const std::int64_t logs = CTestStore(scratch.db).Int("SELECT count(*) FROM logs");
    const std::int64_t matches = CTestStore(scratch.db).Int(gone);
    // Removing these rows rewrites far more pages than the disk has room
    // for; only a log that is copied back and reused as it goes fits.
    ASSERT_GT(matches, logs / 2);
    CAgentProcess agent({"--db", scratch.db, "--inject-disk-space", "6000000", "--batch-rows",
                         "1000", "replicated-logs", "old-logs"});
    EXPECT_EQ(agent.Wait(std::chrono::seconds(120)), 0) << agent.Out() << agent.Err();
    CTestStore store(scratch.db);
    EXPECT_EQ(store.Text("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(store.Int(gone), 0);
}

TEST(HostFaults, AMalformedFaultWindowIsAUsageErrorAndTouchesNothing) {
    CScratchStore scratch;
    for (const char* window : {"5", "5,", "-1,1", "1,x", "1,2,3"}) {
        std::string out;
        std::string err;
        EXPECT_EQ(CAgentProcess::Run({"--db", scratch.db, "--inject-write-faults", window, "all"},
                                     &out, &err),
                  2)
            << window;
        EXPECT_EQ(err.substr(0, err.find('\n')),
                  std::string("cleanup-agent: --inject-write-faults: \"") + window +
                      "\" is not two write counts AFTER,COUNT");
        EXPECT_FALSE(CTestStore::Exists(scratch.db)) << window;
    }
}

}  // namespace
}  // namespace Kol::Testing
