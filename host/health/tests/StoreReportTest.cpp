// --report of the real program on real stores: its figures against the
// store's own, its forecast against the run that follows, and a read-only
// file left exactly as it was.

#include <sys/stat.h>

#include <ctime>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/testing/CAgentProcess.h"
#include "host/testing/CBothStoresTest.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::Testing::CAgentProcess;
using Kol::Host::Testing::CBothStoresTest;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;
using ::testing::HasSubstr;

class StoreReport : public CBothStoresTest {
protected:
    void SetUp() override {
        CBothStoresTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_EQ(Run({"--create", "--seed-demo", "3000"}), 0) << m_out;
        CTestStore(m_db).Execute(
            "INSERT INTO settings(key, value) VALUES ('max_event_logs_per_type', '5')");
    }

    nlohmann::json Report() {
        EXPECT_EQ(Run({"--report", "--output", "json"}), 0) << m_err;
        return nlohmann::json::parse(m_out);
    }
};

INSTANTIATE_TEST_SUITE_P(BothStores, StoreReport, ::testing::Values("sqlite", "postgres"));

TEST_P(StoreReport, FiguresAreTheStoresAndTheForecastIsWhatTheNextRunRemoves) {
    const nlohmann::json report = Report();
    CTestStore store(m_db);
    EXPECT_EQ(report["format"], 1);
    EXPECT_EQ(report["kind"], GetParam() == "sqlite" ? "sqlite" : "postgresql");
    EXPECT_EQ(report["schema_version"], 2);
    EXPECT_GT(report["bytes"].get<std::int64_t>(), 0);
    for (const nlohmann::json& table : report["tables"]) {
        EXPECT_EQ(table["rows"],
                  store.Int("SELECT count(*) FROM " + table["name"].get<std::string>()))
            << table;
        EXPECT_GT(table["bytes"].get<std::int64_t>(), 0) << table;
    }
    EXPECT_EQ(report["tables"].size(), 8u);
    std::tm parts{};
    ASSERT_NE(
        strptime(report["generated_at"].get<std::string>().c_str(), "%Y-%m-%dT%H:%M:%S", &parts),
        nullptr);
    const std::int64_t now = timegm(&parts);
    const int days[] = {30, 90, 180, 365, 730};
    for (int k = 1; k <= 5; ++k) {
        const nlohmann::json& c = report["classes"][k - 1];
        const std::string where = " FROM logs WHERE retention_class = " + std::to_string(k);
        EXPECT_EQ(c["class"], k);
        EXPECT_EQ(c["retention_days"], days[k - 1]);
        EXPECT_EQ(c["logs"], store.Int("SELECT count(*)" + where));
        EXPECT_EQ(c["oldest_age_seconds"], now - store.Int("SELECT min(created_at)" + where));
        EXPECT_EQ(c["expired_logs"], store.Int("SELECT count(*)" + where + " AND created_at < " +
                                               std::to_string(now - days[k - 1] * 86400)));
        EXPECT_EQ(c["bytes"].is_null(), GetParam() == "sqlite") << c;
    }

    // The next run, with no log within two minutes of a cut-off, so that
    // the second between the report and the run moves none (the seeder keeps
    // its tombstones off theirs).
    for (int k = 1; k <= 5; ++k) {
        const std::int64_t cutoff = now - days[k - 1] * 86400;
        store.Execute("UPDATE logs SET created_at = created_at - 120 WHERE retention_class = " +
                      std::to_string(k) + " AND created_at >= " + std::to_string(cutoff - 10) +
                      " AND created_at < " + std::to_string(cutoff + 120));
    }
    const nlohmann::json forecast = Report();
    ASSERT_EQ(Run({"--output", "json", "all"}), 0) << m_err;
    const nlohmann::json run = nlohmann::json::parse(m_out);
    std::map<std::string, std::int64_t> removed;
    for (const nlohmann::json& operation : run["operations"]) {
        removed[operation["name"]] = operation["rows_removed"];
    }
    ASSERT_EQ(forecast["next_run"].size(), 9u);
    for (const nlohmann::json& operation : forecast["next_run"]) {
        EXPECT_EQ(operation["rows"], removed[operation["operation"]]) << operation;
        EXPECT_GT(operation["rows"].get<std::int64_t>(), 0) << operation;
    }
    EXPECT_EQ(forecast["next_run_total"]["rows_removed"], run["total"]["rows_removed"]);

    const nlohmann::json after = Report();
    ASSERT_FALSE(after["runs"].empty());
    EXPECT_EQ(after["runs"][0]["operations"],
              "replicated-logs obsolete-delta-logs event-logs abandoned-logs ignored-logs "
              "old-logs indexes enrollment-tombstones static-objects storage");
    EXPECT_EQ(after["runs"][0]["status"], "succeeded");
    EXPECT_EQ(after["runs"][0]["rows_removed"], run["total"]["rows_removed"]);
    for (const nlohmann::json& c : after["classes"]) {
        EXPECT_EQ(c["expired_logs"], 0) << c;
    }
}

TEST(StoreReportOptions, RefusesWhatWouldRunOrWrite) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--report", "all"},
                                               {"--report", "--dry-run"},
                                               {"--report", "--create"},
                                               {"--report", "--seed-demo", "10"}}) {
        std::string err;
        EXPECT_EQ(CAgentProcess::Run(arguments, nullptr, &err), 2) << arguments[1];
        EXPECT_EQ(err,
                  "cleanup-agent: --report takes no operations and no --seed-demo, --create "
                  "or --dry-run\nTry 'cleanup-agent --help'.\n");
    }
}

// Read only: a file nobody may write, and one with a live write-ahead log
// that another connection holds, both left byte for byte, nothing beside
// them; the log's rows counted.
TEST(StoreReportFile, ReadsOnlyAndLeavesNothingBeside) {
    const CScratchDirectory scratch;
    const std::string db = scratch.path + "/agent.db";
    std::string out;
    std::string err;
    ASSERT_EQ(CAgentProcess::Run({"--db", db, "--report"}, &out, &err), 3);
    EXPECT_EQ(err, "cleanup-agent: --report: no store at " + db + "\n");
    EXPECT_EQ(CTestStore::Files(scratch.path), std::set<std::string>());
    ASSERT_EQ(CAgentProcess::Run({"--db", db, "--create", "--seed-demo", "1000"}), 0);
    const std::set<std::string> files = CTestStore::Files(scratch.path);
    const std::string bytes = CTestStore::ReadFile(db);
    ASSERT_EQ(::chmod(db.c_str(), 0444), 0);
    ASSERT_EQ(CAgentProcess::Run({"--db", db, "--report"}, &out, &err), 0) << err;
    EXPECT_TRUE(CTestStore::ReadFile(db) == bytes);
    EXPECT_EQ(CTestStore::Files(scratch.path), files);
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 100u) << line;
    }
    EXPECT_THAT(out, HasSubstr("\nkind          sqlite, schema version 2\n"));
    ASSERT_EQ(::chmod(db.c_str(), 0600), 0);

    CTestStore writer(db);
    writer.Execute("PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0");
    writer.Execute("INSERT INTO owners(id, name) VALUES (100001, 'x'), (100002, 'y')");
    const std::set<std::string> live = CTestStore::Files(scratch.path);
    const std::string log = CTestStore::ReadFile(db + "-wal");
    const std::string index = CTestStore::ReadFile(db + "-shm");
    ASSERT_EQ(CAgentProcess::Run({"--db", db, "--report", "--output", "json"}, &out, &err), 0)
        << err;
    // Compared before the writer reads again, which marks its own reads in
    // the index.
    EXPECT_EQ(CTestStore::Files(scratch.path), live);
    EXPECT_TRUE(CTestStore::ReadFile(db + "-wal") == log);
    EXPECT_TRUE(CTestStore::ReadFile(db + "-shm") == index);
    const nlohmann::json report = nlohmann::json::parse(out);
    EXPECT_EQ(report["log_bytes"], static_cast<std::int64_t>(log.size()));
    for (const nlohmann::json& table : report["tables"]) {
        if (table["name"] == "owners") {
            EXPECT_EQ(table["rows"], writer.Int("SELECT count(*) FROM owners"));
        }
    }
}

}  // namespace
