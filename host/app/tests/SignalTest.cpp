// Forced stops from the outside: the mapper at work ends after its batch, the
// module writes its interruption line, the host reports and exits 128 + signal
// (SIGHUP, SIGINT and SIGTERM alike), still records the run in the store's
// run history and writes its metrics file.

#include <signal.h>

#include <chrono>
#include <ctime>
#include <numeric>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/testing/CAgentProcess.h"
#include "host/testing/CScratchDatabase.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"
#include "tests/kernel/WaitUntil.h"

namespace {

using Kol::Host::Testing::CAgentProcess;
using Kol::Host::Testing::CScratchDatabase;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;
using ::testing::HasSubstr;

const std::int64_t kDay = 86400;
// The default retention periods of classes 1 to 5.
const std::int64_t kDays[] = {30, 90, 180, 365, 730};

// Per class, the logs created at or after (`young`) or before (`young`
// false) its cut-off; young logs get a minute to spare for the time the run
// takes to compute it.
std::vector<std::int64_t> Logs(const std::string& db, std::int64_t now, bool young) {
    CTestStore store(db);
    std::vector<std::int64_t> counts;
    for (int k = 1; k <= 5; ++k) {
        counts.push_back(store.Int("SELECT count(*) FROM logs WHERE retention_class = " +
                                   std::to_string(k) + " AND created_at " + (young ? ">= " : "< ") +
                                   std::to_string(now - kDays[k - 1] * kDay + (young ? 60 : 0))));
    }
    return counts;
}

std::int64_t OldLogs(const std::string& db, std::int64_t now) {
    const std::vector<std::int64_t> old = Logs(db, now, false);
    return std::accumulate(old.begin(), old.end(), std::int64_t(0));
}

// `db` is a file or a PostgreSQL database: there old-logs drops the two-week
// partitions of a class, then thins out the week that straddles its cut-off
// one batch at a time.
void InterruptOldLogs(int signal, const char* name, std::uint64_t rows, const char* batchRows,
                      const std::string& db) {
    ASSERT_EQ(CAgentProcess::Run({"--db", db, "--seed-demo", std::to_string(rows)}), 0);
    const std::int64_t now = std::time(nullptr);
    const std::vector<std::int64_t> young = Logs(db, now, true);
    const std::int64_t oldBefore = OldLogs(db, now);
    ASSERT_GT(oldBefore, 100000);

    const std::int64_t logsBefore = CTestStore(db).Int("SELECT count(*) FROM logs");
    const std::int64_t runsBefore = CTestStore(db).Int("SELECT count(*) FROM run_history");
    const std::string head = "SELECT count(*) FROM logs WHERE id <= 20000";
    const std::int64_t headBefore = CTestStore(db).Int(head);
    CAgentProcess run({"--db", db, "--batch-rows", batchRows, "old-logs", "indexes"});
    ASSERT_TRUE(
        run.WaitForLine("CCleanupModule: Initiating old logs cleanup", std::chrono::seconds(60)))
        << run.Out() << run.Err();
    // Signal once the first batch is committed, so that the stop comes
    // half-way through the walk (the walk starts with the lowest ids).
    {
        CTestStore watcher(db);
        ASSERT_TRUE(Kol::Testing::WaitUntil([&] { return watcher.Int(head) != headBefore; },
                                            std::chrono::milliseconds(30000)))
            << run.Out();
    }
    run.Signal(signal);
    EXPECT_EQ(run.Wait(std::chrono::seconds(60)), 128 + signal);

    const std::vector<std::string> expected = {
        "INFO Module initialized", "INFO Initiating old logs cleanup",
        "INFO Finished old logs cleanup",
        "WARNING The module is stopping. Cleanup process interrupted.",
        "INFO Failed to re-schedule a cleanup: operation {OLD_LOGS,INDEXES} is not registered"};
    EXPECT_EQ(run.Texts("CCleanupModule"), expected) << run.Out();
    EXPECT_THAT(run.Out(), HasSubstr("; interrupted, the rest is left for a later run\n"));
    EXPECT_THAT(run.Out(), HasSubstr("; interrupted by " + std::string(name) + "\n"));

    if (db.find("://") == std::string::npos) {
        EXPECT_EQ(CTestStore(db).Text("PRAGMA integrity_check"), "ok");
    }
    EXPECT_EQ(Logs(db, now, true), young);
    const std::int64_t oldAfter = OldLogs(db, now);
    EXPECT_LT(oldAfter, oldBefore);  // it was at work
    EXPECT_GT(oldAfter, 0);          // and stopped half-way

    // The run's row in the history, written before the exit.
    CTestStore store(db);
    EXPECT_EQ(store.Int("SELECT count(*) FROM run_history"), runsBefore + 1) << run.Out();
    EXPECT_EQ(store.Text("SELECT status || ' ' || exit_code || ' ' || dry_run || ' ' || operations"
                         " || ' ' || rows_removed || ' ' || coalesce(error, 'NULL')"
                         " FROM run_history ORDER BY id DESC LIMIT 1"),
              "interrupted " + std::to_string(128 + signal) + " 0 old-logs indexes " +
                  std::to_string(logsBefore - store.Int("SELECT count(*) FROM logs")) + " NULL");
}

TEST(Signals, SigintStopsALongCleanupOfAMillionLogsAfterItsBatch) {
    const CScratchDirectory scratch;
    InterruptOldLogs(SIGINT, "SIGINT", 1000000, "10000", scratch.path + "/agent.db");
}

TEST(Signals, SigtermAndSighupStopTheCleanupTheSameWay) {
    // Small batches make a small store last long enough to be caught.
    const CScratchDirectory scratch;
    InterruptOldLogs(SIGTERM, "SIGTERM", 200000, "200", scratch.path + "/term.db");
    InterruptOldLogs(SIGHUP, "SIGHUP", 200000, "200", scratch.path + "/hup.db");
}

TEST(Signals, SigintStopsOldLogsOnPostgreSQLBetweenStatements) {
    const CScratchDatabase database;
    if (database.uri.empty()) {
        GTEST_SKIP() << "no test server: CLEANUP_TEST_PG_URI is not set";
    }
    InterruptOldLogs(SIGINT, "SIGINT", 200000, "1", database.uri);
}

TEST(Signals, SighupDuringTheBackupLeavesNoTemporaryFileAndWritesTheMetricsFile) {
    const CScratchDirectory scratch;
    const std::string& directory = scratch.path;
    const std::string db = directory + "/agent.db";
    ASSERT_EQ(CAgentProcess::Run({"--db", db, "--seed-demo", "200000"}), 0);
    auto temporaries = [&directory] {
        std::vector<std::string> names;
        for (const std::string& name : CTestStore::Files(directory)) {
            if (name.find(".bak.tmp") != std::string::npos ||
                name.find(".lock") != std::string::npos || name[0] == '.') {
                names.push_back(name);
            }
        }
        return names;
    };
    CAgentProcess run({"--db", db, "--metrics-file", directory + "/run.prom", "storage"});
    // The lock and the copy being written.
    ASSERT_TRUE(Kol::Testing::WaitUntil([&] { return temporaries().size() >= 2; },
                                        std::chrono::milliseconds(60000)))
        << run.Out() << run.Err();
    run.Signal(SIGHUP);
    EXPECT_EQ(run.Wait(std::chrono::seconds(60)), 128 + SIGHUP) << run.Out() << run.Err();
    EXPECT_EQ(temporaries(), std::vector<std::string>{});
    EXPECT_THAT(CTestStore::ReadFile(directory + "/run.prom"),
                HasSubstr("\ncleanup_agent_last_run_exit_code 129\n"));
}

}  // namespace
