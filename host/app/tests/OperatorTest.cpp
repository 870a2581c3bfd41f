// The program as an operator meets it: help, version, the JSON result, the
// configuration file, progress lines. The real program on real stores.

#include <signal.h>
#include <stdlib.h>

#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/testing/CAgentProcess.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::Testing::CAgentProcess;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class Operator : public ::testing::Test {
protected:
    const CScratchDirectory m_scratch;
    const std::string m_directory = m_scratch.path;
    const std::string m_db = m_directory + "/agent.db";
};

TEST_F(Operator, HelpVersionAndTheEndOfOptions) {
    std::string help;
    std::string err;
    ASSERT_EQ(CAgentProcess::Run({"--help"}, &help, &err), 0);
    EXPECT_THAT(help, StartsWith("Usage: cleanup-agent [OPTION...] [--] [OPERATION...]\n"));
    EXPECT_THAT(help, HasSubstr("\n      --inject-write-faults AFTER,COUNT"));
    EXPECT_THAT(help,
                HasSubstr("\n   1  replicated-logs        REPLICATED_LOGS\n        removes "));
    std::string shortHelp;
    EXPECT_EQ(CAgentProcess::Run({"-h"}, &shortHelp), 0);
    EXPECT_EQ(shortHelp, help);
    // The product has none: InstalledProgramHasNoTestOptions.

    const std::string version = std::string("cleanup-agent 1.0.0\nplug-in: ") +
                                CLEANUP_PLUGIN_PATH + "\nSQLite: " + CTestStore::SqliteVersion() +
                                "\n";
    for (const char* option : {"-V", "--version"}) {
        std::string out;
        EXPECT_EQ(CAgentProcess::Run({option}, &out, &err), 0);
        EXPECT_EQ(out, version);
        EXPECT_EQ(err, "");
    }
    // After "--" a word is an operation, even when it looks like an option.
    std::string out;
    EXPECT_EQ(CAgentProcess::Run({"--db", m_db, "--", "-v"}, &out, &err), 2);
    EXPECT_THAT(err,
                StartsWith("cleanup-agent: unknown operation \"-v\"; valid: replicated-logs, "));
    EXPECT_FALSE(CTestStore::Exists(m_db));
}

// Configuration file over store settings over defaults; the default file is
// used only when it exists, and not at all with --config. (The command line
// over the file, and the file's errors, which exit as every usage error
// does: CommandLine and Failure tests.)
TEST_F(Operator, ConfigurationFilePrecedence) {
    ASSERT_EQ(CAgentProcess::Run({"--db", m_db, "--create"}), 0);
    CTestStore(m_db).Execute("INSERT INTO settings(key, value) VALUES ('retention_days_1', '11')");
    const std::string file = m_directory + "/a.conf";
    const std::string other = m_directory + "/b.conf";
    CTestStore::WriteFile(file, "# periods\nretention = 1,2,3,4,5\ninstallation-kind = 2\n");
    CTestStore::WriteFile(other, "retention = 9,9,9,9,9\n");
    const struct {
        std::vector<std::string> arguments;
        std::string defaultConfig;  // none when empty
        std::string retention;
    } cases[] = {
        {{"--db", m_db}, "", "11,90,180,365,730, kind 1"},
        {{"--db", m_db}, "/nonexistent/cleanup-agent.conf", "11,90,180,365,730, kind 1"},
        {{"--db", m_db, "--config", file}, "", "1,2,3,4,5, kind 2"},
        {{"--db", m_db}, file, "1,2,3,4,5, kind 2"},
        {{"--db", m_db, "--config", other}, file, "9,9,9,9,9, kind 1"},
    };
    for (const auto& c : cases) {
        if (!c.defaultConfig.empty()) {
            ::setenv("CLEANUP_AGENT_TEST_CONFIG", c.defaultConfig.c_str(), 1);
        }
        std::string out;
        std::string err;
        EXPECT_EQ(CAgentProcess::Run(c.arguments, &out, &err), 0) << err;
        ::unsetenv("CLEANUP_AGENT_TEST_CONFIG");
        std::smatch found;
        ASSERT_TRUE(
            std::regex_search(out, found, std::regex(R"(, kind (-?\d+), retention (\S+) )")))
            << out;
        EXPECT_EQ(found[2].str() + ", kind " + found[1].str(), c.retention) << out;
    }
}

// One run with a failed, an interrupted and two not-run operations: the
// progress lines while it runs, then one JSON document on standard output.
TEST_F(Operator, JsonResultOfAnInterruptedRunWithProgressLines) {
    ASSERT_EQ(CAgentProcess::Run({"--db", m_db, "--seed-demo", "200000"}), 0);
    const std::string uuids[] = {"00000000-0000-0000-0000-000000000001",
                                 "00000000-0000-0000-0000-000000000002",
                                 "00000000-0000-0000-0000-000000000003"};
    CAgentProcess run({"--db", m_db, "--output", "json", "--batch-rows", "1", "--request",
                       uuids[0] + "," + uuids[1] + "," + uuids[2], "8", "old-logs", "indexes",
                       "storage"});
    // Only a progress line says the walk is at work after 2 s (no sooner: how
    // much later depends on the machine).
    ASSERT_TRUE(run.WaitForLine("host: old-logs: removed ", std::chrono::seconds(120)))
        << run.Err();
    run.Signal(SIGINT);
    ASSERT_EQ(run.Wait(std::chrono::seconds(60)), 130) << run.Err();
    EXPECT_TRUE(std::regex_search(
        run.Err(), std::regex(R"(\n\S+ INFO host: old-logs: removed \d+ rows so far, \d+ rows/s, )"
                              R"(([2-9]|\d\d+)\.\d s elapsed\n)")))
        << run.Err();
    EXPECT_THAT(run.Err(),
                HasSubstr(" ERROR host: operation-8: this module does not handle operation 8"));

    const nlohmann::json document = nlohmann::json::parse(run.Out());  // exactly one document
    const std::regex time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
    EXPECT_EQ(document["format"], 1);
    EXPECT_EQ(document["version"], "1.0.0");
    EXPECT_EQ(document["store"], m_db);
    EXPECT_TRUE(std::regex_match(document["start"].get<std::string>(), time));
    EXPECT_TRUE(std::regex_match(document["end"].get<std::string>(), time));
    EXPECT_GE(document["end"].get<std::string>(), document["start"].get<std::string>());
    EXPECT_GT(document["duration_seconds"].get<double>(), 2.0);
    EXPECT_EQ(document["dry_run"], false);
    EXPECT_EQ(document["request"], nlohmann::json(uuids));
    const nlohmann::json& operations = document["operations"];
    nlohmann::json named = nlohmann::json::array();
    for (const nlohmann::json& operation : operations) {
        named.push_back({operation["number"], operation["name"], operation["status"],
                         operation["error"], operation["not_run_reason"]});
    }
    EXPECT_EQ(named, nlohmann::json::parse(R"([
        [8, "operation-8", "failed", "CCleanupModuleBase::ProcessCleanupTask: Enum is not handled",
         null],
        [7, "old-logs", "interrupted", null, null],
        [12, "indexes", "not-run", null, "interrupted by SIGINT"],
        [6, "storage", "not-run", null, "interrupted by SIGINT"]])"));
    for (std::size_t i = 0; i < operations.size(); ++i) {
        const nlohmann::json& operation = operations[i];
        const bool worked = i == 1;
        EXPECT_EQ(operation["rows_removed"].get<std::int64_t>() > 0, worked);
        EXPECT_EQ(operation["bytes_freed_inside_file"].get<std::int64_t>() > 0, worked);
        EXPECT_EQ(operation["bytes_returned_to_file_system"], 0);
        EXPECT_EQ(operation["seconds"].get<double>() > 2.0, worked);
        EXPECT_EQ(operation["longest_write_transaction_seconds"].get<double>() > 0, worked);
    }
    EXPECT_EQ(document["status_events"], nlohmann::json::parse(R"([
        {"progress": 20, "level": 1, "stored": true, "not_stored_reason": null},
        {"progress": 40, "level": 4, "stored": true, "not_stored_reason": null}])"));
    EXPECT_EQ(document["final_status"], 40);
    EXPECT_EQ(document["final_status_text"],
              "final status 40 (at least one operation failed: operation-8); interrupted by "
              "SIGINT");
    EXPECT_EQ(document["exit_code"], 130);
    EXPECT_EQ(document["total"], nlohmann::json({{"rows_removed", operations[1]["rows_removed"]}}));
    EXPECT_EQ(document.size(), 14u);
    // The rows the document counts are gone.
    EXPECT_EQ(CTestStore(m_db).Int("SELECT count(*) FROM logs"),
              199800 - operations[1]["rows_removed"].get<std::int64_t>());
}

}  // namespace
