// The run history as an operator reads it back: the real program on a real
// SQLite file and a real PostgreSQL database, one row per run that opened the
// store (dry and failed runs too), newest first, the newest 1,000 kept, and a
// store of schema version 1 migrated by a real run only.

#include <ctime>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/testing/CAgentProcess.h"
#include "host/testing/CBothStoresTest.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::Testing::CAgentProcess;
using Kol::Host::Testing::CBothStoresTest;
using Kol::Host::Testing::CTestStore;
using ::testing::HasSubstr;

const char* const kOlderSchema =
    "no run history written: the store's schema is older than this program's; a real run adds "
    "the run history";

// Row `offset` of the history, newest first: "status exit_code dry_run
// [operations] rows_removed bytes_freed bytes_returned error".
std::string Row(const std::string& db, int offset) {
    return CTestStore(db).Text(
        "SELECT status || ' ' || exit_code || ' ' || dry_run || ' [' || operations || '] ' ||"
        " rows_removed || ' ' || bytes_freed || ' ' || bytes_returned || ' ' ||"
        " coalesce(error, 'NULL') FROM run_history ORDER BY id DESC LIMIT 1 OFFSET " +
        std::to_string(offset));
}

// The totals of a JSON result as Row gives them: "rows freed returned".
std::string Totals(const std::string& json) {
    std::int64_t rows = 0, freed = 0, returned = 0;
    const nlohmann::json result = nlohmann::json::parse(json);  // outlives the loop
    for (const auto& o : result["operations"]) {
        rows += o["rows_removed"].get<std::int64_t>();
        freed += o["bytes_freed_inside_file"].get<std::int64_t>();
        returned += o["bytes_returned_to_file_system"].get<std::int64_t>();
    }
    return std::to_string(rows) + " " + std::to_string(freed) + " " + std::to_string(returned);
}

class RunHistory : public CBothStoresTest {
protected:
    void SetUp() override {
        CBothStoresTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_EQ(Run({"--seed-demo", "3000"}), 0) << m_err;
    }

    // What an earlier build left: the same store without the run history.
    void MakeVersionOne() {
        CTestStore store(m_db);
        store.Execute("DROP TABLE run_history");
        store.Execute(OnSqlite() ? "PRAGMA user_version = 1"
                                 : "UPDATE settings SET value = '1' WHERE key = 'schema_version'");
    }

    std::string Version() {
        return OnSqlite() ? std::to_string(CTestStore(m_db).Int("PRAGMA user_version"))
                          : CTestStore(m_db).Text(
                                "SELECT value FROM settings WHERE key = 'schema_version'");
    }

    bool HasHistory() {
        return CTestStore(m_db).Int(
                   OnSqlite() ? "SELECT count(*) FROM sqlite_master WHERE name = 'run_history'"
                              : "SELECT count(*) FROM pg_tables WHERE tablename = 'run_history'"
                                " AND schemaname = current_schema()") == 1;
    }
};

INSTANTIATE_TEST_SUITE_P(BothStores, RunHistory, ::testing::Values("sqlite", "postgres"));

// A real run, a dry run and a failing one, read back newest first; the
// failing run's metrics file, written where none was before, takes the last
// success from the history.
TEST_P(RunHistory, EveryRunIsOneRowNewestFirstWithItsOutcomeAndFigures) {
    const std::int64_t before = std::time(nullptr);
    ASSERT_EQ(Run({"--output", "json", "replicated-logs", "old-logs"}), 0) << m_err;
    const std::string real = Totals(m_out);
    ASSERT_EQ(Run({"--output", "json", "--dry-run", "obsolete-delta-logs", "ignored-logs"}), 0)
        << m_err;
    const std::string dry = Totals(m_out);
    const std::string metrics = m_scratch.path + "/run.prom";
    ASSERT_EQ(Run({"--output", "json", "--metrics-file", metrics, "static-objects", "8"}), 1)
        << m_err;
    const std::string failed = Totals(m_out);
    const std::int64_t after = std::time(nullptr);

    EXPECT_EQ(Row(m_db, 0), "failed 1 0 [static-objects operation-8] " + failed +
                                " CCleanupModuleBase::ProcessCleanupTask: Enum is not handled");
    EXPECT_EQ(Row(m_db, 1), "succeeded 0 1 [obsolete-delta-logs ignored-logs] " + dry + " NULL");
    EXPECT_EQ(Row(m_db, 2), "succeeded 0 0 [replicated-logs old-logs] " + real + " NULL");
    EXPECT_EQ(Row(m_db, 3), "succeeded 0 0 [] 0 0 0 NULL");  // the seeding
    EXPECT_EQ(CTestStore(m_db).Int("SELECT count(*) FROM run_history"), 4);
    // The dry run wrote its row and nothing else: its operations would have
    // found rows, which are all still there.
    EXPECT_NE(dry.substr(0, dry.find(' ')), "0");
    CTestStore store(m_db);
    EXPECT_EQ(store.Int("SELECT count(*) FROM logs WHERE ignored = 1") +
                  store.Int("SELECT count(*) FROM logs WHERE is_delta = 1 AND superseded = 1"),
              std::stoll(dry.substr(0, dry.find(' '))));
    // The three runs' times (the seeding's, row 1, came before).
    EXPECT_EQ(store.Int("SELECT count(*) FROM run_history WHERE id > 1 AND (started_at < " +
                        std::to_string(before) + " OR ended_at > " + std::to_string(after) +
                        " OR started_at > ended_at)"),
              0);

    const std::string lastReal = store.Text(
        "SELECT ended_at FROM run_history WHERE id = (SELECT max(id)"
        " FROM run_history WHERE dry_run = 0 AND status = 'succeeded')");
    EXPECT_THAT(CTestStore::ReadFile(metrics),
                HasSubstr("\ncleanup_agent_last_success_timestamp_seconds " + lastReal + ".000\n"));
}

TEST_P(RunHistory, AVersionOneStoreIsLeftAsItWasByADryRunAndMigratedByARealRun) {
    MakeVersionOne();
    const std::string contents = CTestStore(m_db).Dump();
    ASSERT_EQ(Run({"--dry-run", "old-logs"}), 0) << m_out << m_err;
    EXPECT_EQ(Version(), "1");
    EXPECT_FALSE(HasHistory());
    EXPECT_EQ(CTestStore(m_db).Dump(), contents);
    // One warning, after the summary; the run's outcome is unchanged.
    const std::string::size_type warning = m_out.find("WARNING host: " + std::string(kOlderSchema));
    EXPECT_NE(warning, std::string::npos) << m_out;
    EXPECT_EQ(m_out.find("no run history", warning + 20), std::string::npos) << m_out;
    EXPECT_LT(m_out.find("final status 30"), warning);

    ASSERT_EQ(Run({"old-logs"}), 0) << m_out << m_err;
    EXPECT_THAT(m_out, HasSubstr(" INFO host: migrated the store from schema version 1 to 2\n"));
    EXPECT_THAT(m_out, ::testing::Not(HasSubstr("WARNING")));
    EXPECT_EQ(Version(), "2");
    EXPECT_EQ(CTestStore(m_db).Int("SELECT count(*) FROM run_history"), 1);
    EXPECT_EQ(Row(m_db, 0).substr(0, 23), "succeeded 0 0 [old-logs");
    // Migrated once: the next run finds a store of this build.
    ASSERT_EQ(Run({"--dry-run"}), 0) << m_err;
    EXPECT_THAT(m_out, ::testing::Not(HasSubstr("migrated")));
    EXPECT_EQ(Row(m_db, 0), "succeeded 0 1 [] 0 0 0 NULL");
}

TEST_P(RunHistory, EachRunKeepsOnlyTheNewestThousandRows) {
    // 999 more after the seeding's row: 1,000 in all, ids 1 to 1000.
    std::string rows;
    for (int i = 0; i < 999; ++i) {
        rows += std::string(i == 0 ? "" : ", ") + "(" + std::to_string(1000 + i) + ", " +
                std::to_string(1000 + i) + ", 'failed', 1, 0, 'old-logs', 0, 0, 0, 'old')";
    }
    CTestStore(m_db).Execute(
        "INSERT INTO run_history(started_at, ended_at, status, exit_code, dry_run, operations,"
        " rows_removed, bytes_freed, bytes_returned, error) VALUES " +
        rows);
    ASSERT_EQ(CTestStore(m_db).Int("SELECT max(id) FROM run_history"), 1000);

    ASSERT_EQ(Run({"--dry-run", "static-objects"}), 0) << m_err;
    ASSERT_EQ(Run({"static-objects"}), 0) << m_err;
    CTestStore store(m_db);
    EXPECT_EQ(store.Int("SELECT count(*) FROM run_history"), 1000);
    EXPECT_EQ(store.Int("SELECT min(id) FROM run_history"), 3);
    EXPECT_EQ(store.Int("SELECT max(id) FROM run_history"), 1002);
    EXPECT_EQ(Row(m_db, 0).substr(0, 31), "succeeded 0 0 [static-objects] ");
    EXPECT_EQ(Row(m_db, 1).substr(0, 31), "succeeded 0 1 [static-objects] ");
    EXPECT_EQ(Row(m_db, 999), "failed 1 0 [old-logs] 0 0 0 old");
}

}  // namespace
