// The real cleanup-agent program with the real plug-in on temporary stores.

#include <signal.h>
#include <sys/stat.h>
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

#include "contracts/datadefinition/Logs.pb.h"
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

const std::int64_t kDay = 86400;
// The default retention periods of classes 1 to 5.
const std::int64_t kDays[] = {30, 90, 180, 365, 730};

std::int64_t ParseUtc(const std::string& text) {
    std::tm parts{};
    if (strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts) == nullptr) {
        throw std::runtime_error("not a UTC time: " + text);
    }
    return timegm(&parts);
}

std::string Sql(std::int64_t value) {
    return std::to_string(value);
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

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // The program itself creates the store with its schema.
        ASSERT_EQ(CAgentProcess::Run({"--db", m_db, "--create"}), 0);
    }

    // Runs the program on the test's store to its end.
    std::unique_ptr<CAgentProcess> Agent(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--db", m_db});
        if (Kol::Host::CPostgresUri::IsUri(m_db)) {
            arguments.insert(arguments.begin(), {"--backup", m_directory + "/store.dump"});
        }
        std::unique_ptr<CAgentProcess> process(new CAgentProcess(arguments));
        m_status = process->Wait(std::chrono::seconds(60));
        return process;
    }

    // One row for each job, each matching that job's condition only.
    void FillTables(std::int64_t now) {
        CTestStore store(m_db);
        std::string logs;
        // `flags`: replicated, ignored, superseded.
        auto add = [&logs, now](int id, int type, int retention, int delta, std::int64_t age,
                                const char* flags, const char* owner) {
            logs += (logs.empty() ? "(" : ", (") + std::to_string(id) + "," + std::to_string(type) +
                    "," + std::to_string(retention) + "," + std::to_string(delta) + "," +
                    Sql(now - age) + "," + flags + "," + owner + ")";
        };
        add(1, 101, 5, 0, 3600, "0,0,0", "1");
        add(2, 102, 5, 0, 3600, "1,0,0", "1");     // replicated
        add(3, 103, 5, 1, 3600, "0,0,1", "1");     // obsolete delta
        add(4, 104, 5, 1, 3600, "0,0,0", "1");     // delta, still current
        add(5, 105, 5, 0, 3600, "0,0,1", "1");     // superseded, but not a delta
        add(6, 106, 5, 0, 3600, "0,1,0", "2");     // ignored
        add(7, 107, 5, 0, 3600, "0,0,0", "99");    // abandoned: owner 99 is gone
        add(8, 108, 5, 0, 3600, "0,0,0", "NULL");  // no owner at all
        // Old logs: a day past and a day short of each class's default period.
        for (int k = 1; k <= 5; ++k) {
            add(8 + 2 * k, 108 + 2 * k, k, 0, (kDays[k - 1] + 1) * kDay, "0,0,0", "1");
            add(9 + 2 * k, 109 + 2 * k, k, 0, (kDays[k - 1] - 1) * kDay, "0,0,0", "1");
        }
        // Event logs of type 7, two kept: 34, then 33 (same time as 32, higher id).
        const std::int64_t ages[] = {500, 400, 300, 300, 100};
        for (int i = 0; i < 5; ++i) {
            add(30 + i, 7, 5, 0, ages[i], "0,0,0", "1");
        }
        add(35, 7, 5, 1, 900, "0,0,0", "1");  // a delta log of that type is no event log
        add(36, 8, 5, 0, 900, "0,0,0", "1");
        add(37, 8, 5, 0, 800, "0,0,0", "1");
        store.Execute(
            "INSERT INTO logs(id, log_type, retention_class, is_delta, created_at, replicated,"
            " ignored, superseded, owner_id) VALUES " +
            logs);
        store.Execute(
            "INSERT INTO settings(key, value) VALUES ('max_event_logs_per_type', '2');"
            "INSERT INTO owners(id, name) VALUES (1, 'first'), (2, 'second');"
            "INSERT INTO log_blobs(id, log_id, data) VALUES (1, 1, " +
            store.Blob("01") + "), (2, 2, " + store.Blob("02") + "), (3, 1000, " +
            store.Blob("03") + "), (4, 2000, " + store.Blob("04") +
            ");"
            "INSERT INTO static_objects(id, name, deleted) VALUES (1, 'a', 0), (2, 'b', 1),"
            " (3, 'c', 1), (4, 'd', 0);"
            // In this order, so that the SQLite rowids are the names.
            "INSERT INTO enrollment_tombstones(computer_uuid, removed_at) VALUES ('1', " +
            Sql(now - 6 * kDay) + "), ('2', " + Sql(now - 4 * kDay) + "), ('3', " +
            Sql(now - 5 * kDay - 60) + "), ('4', " + Sql(now - 5 * kDay + 60) + ");");
    }

    // Empties every table the fill writes to.
    void EmptyTables() {
        CTestStore(m_db).Execute(
            "DELETE FROM logs; DELETE FROM owners; DELETE FROM log_blobs;"
            " DELETE FROM static_objects; DELETE FROM enrollment_tombstones;"
            " DELETE FROM status_events; DELETE FROM settings WHERE key = "
            "'max_event_logs_per_type'");
    }

    const CScratchDirectory m_scratch;
    const std::string m_directory = m_scratch.path;
    std::string m_db = m_directory + "/agent.db";
    int m_status = -1;
};

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

// `value` as `size` little-endian bytes.
std::string Le(std::int64_t value, std::size_t size) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        bytes += static_cast<char>(static_cast<std::uint64_t>(value) >> (8 * i));
    }
    return bytes;
}

std::string UuidBytes(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

TEST_F(EndToEnd, KindOneStoresTwoStatusEventsWithNineSymbolsInBothForms) {
    const std::string installation = "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9";
    const std::string first = "11111111-2222-3333-4444-555555555555";
    const std::string second = "66666666-7777-8888-9999-aaaaaaaaaaaa";
    const std::string third = "bbbbbbbb-cccc-dddd-eeee-ffffffffffff";
    const std::int64_t t0 = std::time(nullptr);
    Agent({"--installation-uuid", installation, "--request", first + "," + second + "," + third,
           "indexes"});
    const std::int64_t t1 = std::time(nullptr);
    ASSERT_EQ(m_status, 0);

    // The binary form: the count, the nine ids in order, then each value
    // after its kind code (1 int, 4 id, 5 UUID, 6 time); the progress last.
    const std::vector<std::int64_t> ids = {2836, 2834, 2838, 2842, 2846, 2844, 2848, 2853, 2850};
    std::string expected = Le(9, 4);
    for (const std::int64_t id : ids) {
        expected += Le(id, 4);
    }
    expected += Le(1, 4) + Le(1, 8) + Le(5, 4) + UuidBytes(installation) + Le(6, 4);
    const std::size_t timeAt = expected.size();
    expected += Le(0, 8);  // the time, checked on its own
    for (const std::string& uuid : {first, third, second}) {
        expected += Le(5, 4) + UuidBytes(uuid);
    }
    expected += Le(4, 4) + Le(-1, 8) + Le(4, 4) + Le(508906757892866594LL, 8) + Le(1, 4);

    CTestStore store(m_db);
    EXPECT_EQ(store.Ints("SELECT message_type FROM status_events ORDER BY id"),
              (std::vector<std::int64_t>{10368, 10368}));
    const std::vector<std::string> binaries =
        store.Blobs("SELECT symbols FROM status_events ORDER BY id");
    const std::vector<std::string> protobufs =
        store.Blobs("SELECT symbols_protobuf FROM status_events ORDER BY id");
    ASSERT_EQ(binaries.size(), 2u);
    const std::int64_t progress[] = {20, 30};
    for (std::size_t e = 0; e < 2; ++e) {
        std::string bytes = binaries[e];
        ASSERT_GE(bytes.size(), timeAt + 8);
        std::int64_t ticks = 0;  // microseconds since the Julian day 0
        for (std::size_t i = 0; i < 8; ++i) {
            ticks |= std::int64_t(static_cast<unsigned char>(bytes[timeAt + i])) << (8 * i);
        }
        const std::int64_t seconds = ticks / 1000000 - 2440588LL * kDay;  // JDN of 1970-01-01
        EXPECT_GE(seconds, t0 - 1);
        EXPECT_LE(seconds, t1 + 1);
        EXPECT_EQ(bytes.replace(timeAt, 8, Le(0, 8)), expected + Le(progress[e], 8));

        Kol::Common::DataDefinition::Logs::LogSymbolContainer container;
        ASSERT_TRUE(container.ParseFromString(protobufs[e]));
        ASSERT_EQ(container.symbols_size(), 9);
        for (int i = 0; i < 9; ++i) {
            EXPECT_EQ(container.symbols(i).symbol_type(), ids[static_cast<std::size_t>(i)]);
        }
        EXPECT_EQ(container.symbols(1).symbol_data().val_uuid(0).uuid(), installation);
        EXPECT_EQ(container.symbols(3).symbol_data().val_uuid(0).uuid(), first);
        EXPECT_EQ(container.symbols(8).symbol_data().val_int(0), progress[e]);
    }
}

// The failure's own event (progress 40, level 4) is the engine's and is
// stored as sent (the test above, and the JSON result's status events).
TEST_F(EndToEnd, AFailedOperationOrARefusedFinalStatusEventFailsTheRequestAndIsNamed) {
    const std::unique_ptr<CAgentProcess> run = Agent({"25", "static-objects"});
    EXPECT_EQ(m_status, 1);
    const std::vector<std::string> expected = {
        "INFO Module initialized",
        "ERROR Failed to process cleanup operation  with error: "
        "CCleanupModuleBase::ProcessCleanupTask: Enum is not handled",
        "INFO Initiating static objects cleanup", "INFO Finished static objects cleanup",
        "INFO Failed to re-schedule a cleanup: operation {STATIC_OBJECTS,} is not registered"};
    EXPECT_EQ(run->Texts("CCleanupModule"), expected);
    EXPECT_THAT(run->Out(),
                HasSubstr("host: summary: final status 40 (at least one operation failed: 25)\n"));

    // The store takes the next run's first status event, not its last.
    // (A trigger would do it too, but a store with one is refused.)
    CTestStore store(m_db);
    store.Execute("CREATE UNIQUE INDEX no_room ON status_events(message_type) WHERE id > " +
                  std::to_string(store.Int("SELECT max(id) FROM status_events")));
    const std::unique_ptr<CAgentProcess> refused = Agent({"static-objects"});
    EXPECT_EQ(m_status, 1);
    EXPECT_THAT(refused->Out(),
                HasSubstr("host: summary: final status 30 (every operation succeeded); this status "
                          "event was not stored: UNIQUE constraint failed: "
                          "status_events.message_type\n"));
}

TEST_F(EndToEnd, BackupIsAVerifiedCopyWithTheStoresModeAndAFailedOneLeavesNothingBehind) {
    ASSERT_EQ(CAgentProcess::Run({"--db", m_db, "--seed-demo", "3000"}), 0);
    // The store readable by its group only, owned by someone else (as root).
    ASSERT_EQ(::chmod(m_db.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(m_db.c_str(), 4321, 4322), 0);
    }
    // Leftovers of a killed run: this program's names go, others stay.
    for (const char* name :
         {"agent.db.bak.tmp", "agent.db.bak.tmp-Ab3xY9", "agent.db.bak.tmp-Ab3xY9-journal",
          "agent.db.bak.tmp-keep-me", "other.db.bak.tmp-Ab3xY9"}) {
        CTestStore::WriteFile(m_directory + "/" + name, "x");
    }
    const std::unique_ptr<CAgentProcess> run = Agent({"storage"});
    ASSERT_EQ(m_status, 0) << run->Out() << run->Err();
    EXPECT_THAT(run->Out(),
                HasSubstr("host: removed 3 temporary files an earlier, stopped run left"));
    const std::string backup = m_db + ".bak";
    const std::set<std::string> files = {"agent.db", "agent.db.bak", "agent.db.bak.tmp-keep-me",
                                         "other.db.bak.tmp-Ab3xY9"};
    EXPECT_EQ(CTestStore::Files(m_directory), files);
    struct stat status {};
    ASSERT_EQ(::stat(backup.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    if (root) {
        EXPECT_EQ(status.st_uid, 4321u);
        EXPECT_EQ(status.st_gid, 4322u);
    }
    {
        CTestStore original(m_db);
        CTestStore copy(backup);
        EXPECT_EQ(copy.Text("PRAGMA integrity_check"), "ok");
        EXPECT_EQ(copy.Text("PRAGMA journal_mode"), "delete");
        // Every row, taken after the storage cleanup (no orphan blob in it)
        // and before the final status event.
        EXPECT_EQ(copy.Int("SELECT count(*) FROM log_blobs WHERE log_id NOT IN (SELECT id FROM "
                           "logs)"),
                  0);
        original.Execute(
            "DELETE FROM status_events WHERE id = (SELECT max(id) FROM status_events)");
        EXPECT_EQ(copy.Dump(), original.Dump());
        original.Execute("DELETE FROM static_objects WHERE id % 2 = 0");
    }

    // A backup elsewhere: written there, with its temporary copies beside it,
    // and replaced by the next run.
    const CScratchDirectory elsewhere;
    const std::string chosen = elsewhere.path + "/agent.copy";
    for (int run = 0; run < 2; ++run) {
        const std::unique_ptr<CAgentProcess> copied = Agent({"--backup", chosen, "storage"});
        ASSERT_EQ(m_status, 0) << copied->Out() << copied->Err();
        EXPECT_THAT(copied->Out(), HasSubstr("host: backup (to " + chosen + "): "));
        EXPECT_EQ(CTestStore(chosen).Text("PRAGMA integrity_check"), "ok");
        EXPECT_EQ(CTestStore(chosen).Int("SELECT count(*) FROM logs"),
                  CTestStore(m_db).Int("SELECT count(*) FROM logs"));
    }
    EXPECT_EQ(CTestStore::Files(elsewhere.path), (std::set<std::string>{"agent.copy"}));
    ASSERT_EQ(::stat(chosen.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);

    // The disk fills up while the copy is written: the previous backup stays
    // and nothing of the copy is left (no journal either).
    const std::string previous = CTestStore::ReadFile(backup);
    const std::unique_ptr<CAgentProcess> failed =
        Agent({"--inject-write-faults", "30,1000000", "storage"});
    EXPECT_EQ(m_status, 1);
    EXPECT_THAT(
        failed->Texts("CCleanupModule"),
        Contains("ERROR Failed to process cleanup operation STORAGE with error: backup to " +
                 backup + " failed: database or disk is full"));
    EXPECT_EQ(CTestStore::ReadFile(backup), previous);
    EXPECT_EQ(CTestStore::Files(m_directory), files);
}

TEST_F(EndToEnd, DryRunFindsEveryKindOfRowHoldsTheLockOneBatchAtATimeAndChangesNothing) {
    // From 1,000 demo logs on, every operation that removes rows finds some.
    ASSERT_EQ(CAgentProcess::Run({"--db", m_db, "--seed-demo", "1000"}), 0);
    CTestStore(m_db).Execute(
        "INSERT INTO settings(key, value) VALUES ('max_event_logs_per_type', '5')");
    const std::string before = CTestStore(m_db).Dump();
    const char* const removing[] = {"replicated-logs", "obsolete-delta-logs",   "event-logs",
                                    "abandoned-logs",  "ignored-logs",          "storage",
                                    "old-logs",        "enrollment-tombstones", "static-objects"};
    CAgentProcess agent({"--db", m_db, "--dry-run", "all"});
    // Frozen after an operation's line, the dry run must not keep other
    // writers out (as one transaction over the whole run would): at least
    // once, a writer that does not wait gets the lock.
    int writable = 0;
    for (const char* label : removing) {
        ASSERT_TRUE(agent.WaitForLine(std::string("host: ") + label, std::chrono::seconds(60)))
            << agent.Out();
        agent.Signal(SIGSTOP);
        if (agent.Out().find("host: dry run:") == std::string::npos) {
            CTestStore writer(m_db);
            writer.Execute("PRAGMA busy_timeout = 0");
            try {
                writer.Execute("BEGIN IMMEDIATE; COMMIT");
                ++writable;
            } catch (const std::runtime_error&) {
                // Frozen inside a batch.
            }
        }
        agent.Signal(SIGCONT);
    }
    ASSERT_EQ(agent.Wait(std::chrono::seconds(60)), 0) << agent.Out() << agent.Err();
    EXPECT_GT(writable, 0);
    EXPECT_EQ(CTestStore(m_db).Dump(), before);
    EXPECT_FALSE(CTestStore::Exists(m_db + ".bak"));

    const std::string out = agent.Out();
    for (const char* label : removing) {
        std::smatch removed;
        ASSERT_TRUE(std::regex_search(
            out, removed,
            std::regex(std::string("host: ") + label + R"(( \(.*\))?: would remove (\d+) rows, )")))
            << label << out;
        EXPECT_GT(std::stoll(removed[2]), 0) << label;
    }
    for (const char* line :
         {"host: status event 10368 EventLog_CLEANUP_STATUS stored and rolled back (dry run) as "
          "row 1: progress 30",
          "; dry run: the store passed quick_check, no backup written\n",
          "host: dry run: every batch was rolled back at once; each operation's figures are what "
          "it would remove and free on its own, so a row that two operations take counts in "
          "both; the total counts it once\n",
          "host: summary: total: would remove "}) {
        EXPECT_THAT(out, HasSubstr(line));
    }
    EXPECT_THAT(out, Not(HasSubstr(": removed ")));
    // What the real run then removes, to the row.
    std::smatch would;
    ASSERT_TRUE(std::regex_search(
        out, would, std::regex(R"(summary: total: would remove (\d+) distinct rows)")));
    CAgentProcess real({"--db", m_db, "all"});
    ASSERT_EQ(real.Wait(std::chrono::seconds(60)), 0) << real.Out();
    const std::string realOut = real.Out();
    std::smatch removed;
    ASSERT_TRUE(
        std::regex_search(realOut, removed, std::regex(R"(summary: total: removed (\d+) rows)")));
    EXPECT_EQ(would[1], removed[1]);
}

// Outside kind 1 no status event is stored, no backup written, and the
// request fails from the error lines.
TEST_F(EndToEnd, OtherKindsStorageReportsTheLogAndTruncatesItWhenNoReaderHoldsIt) {
    ASSERT_EQ(CAgentProcess::Run({"--db", m_db, "--seed-demo", "3000"}), 0);
    const std::regex log(
        R"(host: storage: .*; write-ahead log \d+\.\d [KM]iB \((\d+) bytes\) before, (.+?) after(.*))");
    CTestStore writer(m_db);
    CTestStore reader(m_db);
    writer.Execute("PRAGMA wal_autocheckpoint = 0; DELETE FROM static_objects");
    reader.Execute("BEGIN");
    reader.Int("SELECT count(*) FROM logs");  // holds this snapshot of the log
    writer.Execute("DELETE FROM enrollment_tombstones");
    std::smatch held;
    const std::unique_ptr<CAgentProcess> first = Agent({"--installation-kind", "2", "storage"});
    std::string out = first->Out();
    EXPECT_EQ(m_status, 0) << out;
    EXPECT_THAT(out, Not(HasSubstr("host: status event")));
    EXPECT_THAT(out, HasSubstr("host: summary: final status succeeded (0 failure lines; this "
                               "installation kind sends no status events)\n"));
    EXPECT_EQ(first->Texts("CCleanupModule").size(), 4u);  // no backup's lines
    EXPECT_FALSE(CTestStore::Exists(m_db + ".bak"));
    ASSERT_TRUE(std::regex_search(out, held, log)) << out;
    EXPECT_GT(std::stoll(held[1]), 0);
    EXPECT_TRUE(std::regex_match(held[2].str(), std::regex(R"(\d+\.\d [KM]iB \(\d+ bytes\))")))
        << held[2];
    EXPECT_EQ(held[3], " (other connections kept it in use)");

    reader.Execute("COMMIT");
    std::smatch freed;
    out = Agent({"--installation-kind", "2", "storage"})->Out();
    ASSERT_TRUE(std::regex_search(out, freed, log)) << out;
    EXPECT_GT(std::stoll(freed[1]), 0);
    EXPECT_EQ(freed[2], "0 bytes");
    EXPECT_EQ(freed[3], "");

    // Without incremental auto-vacuum nothing goes back to the file system;
    // the line says why and how to change it.
    writer.Execute("PRAGMA auto_vacuum = NONE; VACUUM");
    out = Agent({"--installation-kind", "2", "storage"})->Out();
    EXPECT_THAT(out, HasSubstr("host: storage: removed 0 rows, freed 0 bytes inside the file, "
                               "returned 0 bytes to the file system in "));
    EXPECT_THAT(out, HasSubstr("; the store does not use incremental auto-vacuum, so its free "
                               "pages stay in the file; to change that, run PRAGMA auto_vacuum = "
                               "INCREMENTAL and then VACUUM on it once, while no cleanup-agent "
                               "runs; write-ahead log "));

    Agent({"--installation-kind", "2", "25"});
    EXPECT_EQ(m_status, 1);
    EXPECT_EQ(CTestStore(m_db).Int("SELECT count(*) FROM status_events"), 0);
}

}  // namespace
