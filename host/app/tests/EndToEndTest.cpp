// The real cleanup-agent program with the real plug-in on temporary stores.

#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <numeric>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/app/tests/CEndToEndTest.h"
#include "host/store/postgres/CPostgresStore.h"
#include "host/store/postgres/CPostgresUri.h"
#include "host/testing/CAgentProcess.h"
#include "host/testing/CScratchDatabase.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::CPostgresStore;
using Kol::Host::Testing::CAgentProcess;
using Kol::Host::Testing::CScratchDatabase;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
typedef std::map<std::string, std::set<std::int64_t>> Keys;

std::int64_t ParseUtc(const std::string& text) {
    std::tm parts{};
    if (strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts) == nullptr) {
        throw std::runtime_error("not a UTC time: " + text);
    }
    return timegm(&parts);
}

// The keys of `a` that `b` lacks.
Keys Minus(const Keys& a, Keys b) {
    Keys missing;
    for (const auto& table : a) {
        for (const std::int64_t key : table.second) {
            if (b[table.first].count(key) == 0) {
                missing[table.first].insert(key);
            }
        }
    }
    return missing;
}

class EndToEnd : public Kol::Host::Testing::CEndToEndTest {};

// The same tests on both stores: a file, and a database of the test server
// whose two-week log partitions reach back over two years, as on a store that
// has been in use that long.
class Stores : public EndToEnd, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgres") {
            if (m_database.uri.empty()) {
                GTEST_SKIP() << "no test server: CLEANUP_TEST_PG_URI is not set";
            }
            m_db = m_database.uri;
        }
        EndToEnd::SetUp();
        if (GetParam() == "postgres") {
            const std::int64_t now = std::time(nullptr);
            Kol::Host::StoreOptions options;
            options.db = m_db;
            options.backup = m_directory + "/store.dump";
            CPostgresStore store(options);
            store.FinishOpening();
            store.PrepareLogRange(now - 800 * kDay, now);
        }
    }

    const CScratchDatabase m_database;
};

INSTANTIATE_TEST_SUITE_P(BothStores, Stores, ::testing::Values("sqlite", "postgres"));

TEST_P(Stores, EachOperationRemovesExactlyItsRowsAndNoOther) {
    const std::int64_t now = std::time(nullptr);
    const struct {
        std::string operation;
        std::string job;  // as in the module's Initiating line
        Keys removed;
    } cases[] = {
        {"replicated-logs", "replicated logs cleanup", {{"logs", {2}}}},
        {"OBSOLETE_DELTA_LOGS", "obsolete delta logs cleanup", {{"logs", {3}}}},
        {"event-logs", "event logs cleanup", {{"logs", {30, 31, 32}}}},
        {"abandoned-logs", "abandoned logs cleanup", {{"logs", {7}}}},
        {"ignored-logs", "ignored logs cleanup", {{"logs", {6}}}},
        {"old-logs", "old logs cleanup", {{"logs", {10, 12, 14, 16, 18}}}},
        {"indexes", "indexes cleanup", {}},
        {"13", "cleaning computer enrollement tombstone", {{"enrollment_tombstones", {1, 3}}}},
        {"static-objects", "static objects cleanup", {{"static_objects", {2, 3}}}},
        {"storage", "storage cleanup", {{"log_blobs", {3, 4}}}},
    };
    for (const auto& c : cases) {
        EmptyTables();
        FillTables(now);
        Keys before = CTestStore(m_db).Keys();
        const std::unique_ptr<CAgentProcess> run = Agent({c.operation});
        ASSERT_EQ(m_status, 0) << c.operation << run->Out() << run->Err();
        const std::vector<std::string> lines = run->Texts("CCleanupModule");
        EXPECT_THAT(lines, Contains("INFO Initiating " + c.job)) << c.operation;
        EXPECT_THAT(lines, Contains("INFO Finished " + c.job)) << c.operation;

        Keys after = CTestStore(m_db).Keys();
        EXPECT_EQ(after["status_events"].size(), 2u) << c.operation;
        before.erase("status_events");
        after.erase("status_events");
        EXPECT_EQ(Minus(before, after), c.removed) << c.operation;
        EXPECT_EQ(Minus(after, before), Keys()) << c.operation;
        // The host's line of the call: the rows its job removed, the bytes, the times.
        const std::size_t rows = std::accumulate(
            c.removed.begin(), c.removed.end(), std::size_t(0),
            [](std::size_t n, const auto& table) { return n + table.second.size(); });
        EXPECT_TRUE(std::regex_search(
            run->Out(),
            std::regex(
                R"( INFO host: [a-z-]+( \(.+\))?: removed )" + std::to_string(rows) +
                R"( rows, freed (\d+ bytes|\d+\.\d \w+ \(\d+ bytes\)) inside the file, returned (\d+ bytes|\d+\.\d \w+ \(\d+ bytes\)) to the file system in \d+\.\d{3} s, longest write transaction \d+\.\d{3} s)")))
            << run->Out();
    }
    EXPECT_THAT(Agent({"event-logs"})->Out(), HasSubstr("; kept the newest 2 of each log type"));
}

// Operations of one request overlap: an old replicated log is both, and the
// blobs of logs removed earlier are orphans by the time the storage runs.
// The dry run's total counts each row once, the rows the real run removes.
TEST_P(Stores, ADryRunsTotalIsTheDistinctRowsTheRealRunRemoves) {
    FillTables(std::time(nullptr));
    // 34, the newest event log of type 7, goes as replicated, so event-logs
    // keeps 33 and 32 and takes 30 and 31; 31 is also ignored, 10 also old.
    CTestStore(m_db).Execute(
        "UPDATE logs SET replicated = 1 WHERE id IN (10, 34);"
        "UPDATE logs SET ignored = 1 WHERE id = 31");
    const std::string before = CTestStore(m_db).Dump();
    const nlohmann::json dry =
        nlohmann::json::parse(Agent({"--dry-run", "--output", "json", "all"})->Out());
    ASSERT_EQ(m_status, 0) << dry.dump(2);
    EXPECT_EQ(CTestStore(m_db).Dump(), before);
    std::map<std::string, std::uint64_t> dryRows;
    std::uint64_t summed = 0;
    for (const nlohmann::json& operation : dry["operations"]) {
        dryRows[operation["name"]] = operation["rows_removed"];
        summed += operation["rows_removed"].get<std::uint64_t>();
    }
    // Logs 2 10 34 | 3 | 30 31 | 7 | 6 | 12 14 16 18; tombstones 1 3; static
    // objects 2 3; blobs 2 3 4.
    EXPECT_EQ(dry["total"]["rows_removed"], 19) << dry["total"];
    EXPECT_EQ(dryRows["event-logs"], 2u);
    EXPECT_EQ(summed, 20u);  // 31 and 10 twice, blob 2 not yet an orphan
    EXPECT_GT(dry["total"]["store_bytes_after_estimate"].get<std::int64_t>(), 0);
    EXPECT_GE(dry["total"]["bytes_returned_estimate"].get<std::int64_t>(), 0);

    const nlohmann::json real = nlohmann::json::parse(Agent({"--output", "json", "all"})->Out());
    ASSERT_EQ(m_status, 0) << real.dump(2);
    EXPECT_EQ(real["total"], nlohmann::json({{"rows_removed", 19}}));
    EXPECT_EQ(real["operations"][2]["rows_removed"], 2) << real["operations"][2];
}

// A backup names its installation: one store's run never replaces another
// installation's backup (here the store's UUID changed under it, as when two
// stores share one --backup), and the refusal writes nothing.
TEST_P(Stores, ABackupOfAnotherInstallationIsLeftAsItIs) {
    ASSERT_EQ((Agent({"storage"}), m_status), 0);
    const std::string made =
        CTestStore(m_db).Text("SELECT value FROM settings WHERE key = 'installation_uuid'");
    const std::string backup =
        GetParam() == "postgres" ? m_directory + "/store.dump" : m_db + ".bak";
    const std::string bytes = CTestStore::ReadFile(backup);
    CTestStore(m_db).Execute(
        "UPDATE settings SET value = 'aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee' "
        "WHERE key = 'installation_uuid'");
    const std::string contents = CTestStore(m_db).Dump();
    for (const char* operation : {"storage", "replicated-logs"}) {
        const std::unique_ptr<CAgentProcess> run = Agent({operation});
        EXPECT_EQ(m_status, 3) << operation;
        EXPECT_THAT(run->Err(),
                    HasSubstr("--backup: " + backup + " is a backup of installation " + made +
                              ", not of this store's "
                              "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee; it is left as it "
                              "is\n"))
            << run->Out() << run->Err();
    }
    EXPECT_EQ(CTestStore::ReadFile(backup), bytes);
    EXPECT_EQ(CTestStore(m_db).Dump(), contents);
}

TEST_P(Stores, OldLogsUseTheFivePeriodsEachForItsOwnClass) {
    const std::int64_t t0 = std::time(nullptr);
    {
        CTestStore store(m_db);
        std::string rows;
        int id = 0;
        for (int k = 1; k <= 5; ++k) {
            // A dense run of seconds around the cut-off, and a row older than
            // the previous class's cut-off that its own period still keeps.
            for (int d = -3; d <= 20; ++d) {
                rows += (rows.empty() ? "(" : ", (") + std::to_string(++id) + ", 1, " +
                        std::to_string(k) + ", " + Sql(t0 - k * kDay + d) + ")";
            }
            if (k > 1) {
                rows += ", (" + std::to_string(++id) + ", 1, " + std::to_string(k) + ", " +
                        Sql(t0 - (k - 1) * kDay - 10) + ")";
            }
        }
        store.Execute("INSERT INTO logs(id, log_type, retention_class, created_at) VALUES " + rows);
    }
    const std::unique_ptr<CAgentProcess> run = Agent({"--retention", "1,2,3,4,5", "old-logs"});
    const std::int64_t t1 = std::time(nullptr);
    ASSERT_EQ(m_status, 0) << run->Out() << run->Err();

    std::smatch cutoffs;
    const std::string out = run->Out();
    ASSERT_TRUE(std::regex_search(
        out, cutoffs,
        std::regex(R"(host: old-logs \(cut-offs (\S+Z), (\S+Z), (\S+Z), (\S+Z), (\S+Z)\))")))
        << out;
    std::int64_t cut[6] = {};
    for (int k = 1; k <= 5; ++k) {
        cut[k] = ParseUtc(cutoffs[k]);
        EXPECT_EQ(cut[k], cut[1] - (k - 1) * kDay) << k;  // one "now" for all five
    }
    EXPECT_GE(cut[1], t0 - kDay);
    EXPECT_LE(cut[1], t1 - kDay);

    CTestStore store(m_db);
    for (int k = 1; k <= 5; ++k) {
        const std::string cls = " AND retention_class = " + std::to_string(k);
        // Exactly the rows before the class's own cut-off went; both sides of
        // the boundary were there.
        EXPECT_EQ(store.Int("SELECT count(*) FROM logs WHERE created_at < " + Sql(cut[k]) + cls), 0)
            << k;
        EXPECT_EQ(store.Int("SELECT count(*) FROM logs WHERE created_at >= " + Sql(cut[k]) + cls),
                  (t0 - k * kDay + 20) - cut[k] + 1 + (k > 1 ? 1 : 0))
            << k;
        EXPECT_GE(cut[k] - 1, t0 - k * kDay - 3);
    }
}

TEST_P(Stores, TombstonesGoExactlyOneHundredTwentyHoursBack) {
    const std::int64_t t0 = std::time(nullptr);
    const std::int64_t hours120 = 120 * 3600;
    {
        CTestStore store(m_db);
        std::string rows;
        for (int d = -3; d <= 20; ++d) {
            rows += (rows.empty() ? "('" : ", ('") + std::to_string(d) + "', " +
                    Sql(t0 - hours120 + d) + ")";
        }
        store.Execute("INSERT INTO enrollment_tombstones(computer_uuid, removed_at) VALUES " +
                      rows);
    }
    const std::unique_ptr<CAgentProcess> run = Agent({"enrollment-tombstones"});
    const std::int64_t t1 = std::time(nullptr);
    ASSERT_EQ(m_status, 0) << run->Out() << run->Err();
    std::smatch match;
    const std::string out = run->Out();
    ASSERT_TRUE(std::regex_search(out, match,
                                  std::regex(R"(host: enrollment-tombstones \(cut-off (\S+Z)\))")))
        << out;
    const std::int64_t cutoff = ParseUtc(match[1]);
    EXPECT_GE(cutoff, t0 - hours120);
    EXPECT_LE(cutoff, t1 - hours120);

    CTestStore store(m_db);
    // Everything before the cut-off went, the cut-off itself and everything
    // after it stayed (one row a second).
    EXPECT_EQ(store.Int("SELECT min(removed_at) FROM enrollment_tombstones"), cutoff);
    EXPECT_EQ(store.Int("SELECT count(*) FROM enrollment_tombstones"),
              t0 - hours120 + 20 - cutoff + 1);
}

TEST_F(EndToEnd, LinesComeInOrderWithTheModuleNameAndTheHostsFacts) {
    FillTables(std::time(nullptr));
    const std::unique_ptr<CAgentProcess> run = Agent({"replicated-logs", "static-objects"});
    ASSERT_EQ(m_status, 0) << run->Out() << run->Err();
    EXPECT_EQ(run->Err(), "");
    const std::vector<CAgentProcess::Record> records = run->Records();
    const std::vector<std::string> expected = {
        "host/INFO/store " + m_db + " open; installation ",
        "CCleanupModule/INFO/Module initialized",
        "host/INFO/sending cleanup request ",
        "host/INFO/status event 10368 EventLog_",
        "CCleanupModule/INFO/Initiating replicated logs cleanup",
        "host/INFO/replicated-logs: removed 1 rows, freed ",
        "CCleanupModule/INFO/Finished replicated logs cleanup",
        "CCleanupModule/INFO/Initiating static objects cleanup",
        "host/INFO/static-objects: removed 2 rows, freed ",
        "CCleanupModule/INFO/Finished static objects cleanup",
        "host/INFO/status event 10368 EventLog_",
        "CCleanupModule/INFO/Failed to re-schedule a cleanup: operation "
        "{REPLICATED_LOGS,STATIC_OBJECTS} is not registered",
        "host/INFO/module stopped and deleted",
        "host/INFO/summary: replicated-logs: removed 1 rows, freed ",
        "host/INFO/summary: static-objects: removed 2 rows, freed ",
        "host/INFO/summary: total: removed 3 rows, freed ",
        "host/INFO/summary: final status 30 (every operation succeeded)",
    };
    ASSERT_EQ(records.size(), expected.size()) << run->Out();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string line = records[i].module + "/" + records[i].level + "/" + records[i].text;
        EXPECT_EQ(line.compare(0, expected[i].size(), expected[i]), 0) << line;
    }
    EXPECT_THAT(records[3].text, HasSubstr(": progress 20, level 1"));
    EXPECT_THAT(records[10].text, HasSubstr(": progress 30, level 1"));

    // Only errors with -q (as with --log-level 4): the module's failure line
    // and the host's word on it, nothing else.
    // (--quiet is the same entry of the option table, its long name read from
    // configuration files in the command line tests.)
    const std::unique_ptr<CAgentProcess> quiet = Agent({"-q", "25"});
    EXPECT_EQ(m_status, 1);
    EXPECT_EQ(quiet->Texts("CCleanupModule"),
              (std::vector<std::string>{"ERROR Failed to process cleanup operation  with error: "
                                        "CCleanupModuleBase::ProcessCleanupTask: Enum is not "
                                        "handled"}));
    EXPECT_EQ(quiet->Texts("host"),
              (std::vector<std::string>{"ERROR 25: this module does not handle operation 25 (see "
                                        "the operations in cleanup-agent --help)"}));
    // Under systemd, with standard output the journal stream: the sd-daemon
    // priority before each line and no time of its own.
    const std::string agent = std::string(CLEANUP_AGENT_PATH) + " --db '" + m_db + "' ";
    const std::string journal = "JOURNAL_STREAM=$(stat -L -c %d:%i /proc/$$/fd/1) exec " + agent;
    CAgentProcess errors({"-c", journal + "-q 25"}, "/bin/sh");
    EXPECT_EQ(errors.Wait(std::chrono::seconds(60)), 1);
    EXPECT_EQ(errors.Out(),
              "<3>ERROR CCleanupModule: Failed to process cleanup operation  with error: "
              "CCleanupModuleBase::ProcessCleanupTask: Enum is not handled\n"
              "<3>ERROR host: 25: this module does not handle operation 25 (see the operations "
              "in cleanup-agent --help)\n");
    CAgentProcess infos({"-c", journal + "indexes"}, "/bin/sh");
    EXPECT_EQ(infos.Wait(std::chrono::seconds(60)), 0);
    EXPECT_THAT(infos.Out(), StartsWith("<6>INFO host: store " + m_db + " open; installation "));
    EXPECT_THAT(infos.Out(), Not(HasSubstr("Z INFO ")));
    // A stream that is not the one named is written as everywhere else.
    CAgentProcess elsewhere({"-c", "JOURNAL_STREAM=1:1 exec " + agent + "-q 25"}, "/bin/sh");
    EXPECT_EQ(elsewhere.Wait(std::chrono::seconds(60)), 1);
    EXPECT_EQ(elsewhere.Records().size(), 2u);
    // -v adds the debug lines: the sources of the values and the batches.
    const std::unique_ptr<CAgentProcess> verbose = Agent({"-v", "--batch-rows", "1", "old-logs"});
    EXPECT_EQ(m_status, 0);
    const std::vector<std::string> host = verbose->Texts("host");
    for (const char* line :
         {"DEBUG configuration file: none", "DEBUG --batch-rows 1 (command line)",
          "DEBUG --retention 30,90,180,365,730 (built-in default)",
          "DEBUG --log-level 1 (command line, --verbose)",
          "DEBUG old-logs: batch 1 committed, 1 rows so far",
          "DEBUG old-logs: batch 5 committed, 5 rows so far"}) {
        EXPECT_THAT(host, Contains(line));
    }
}

}  // namespace
