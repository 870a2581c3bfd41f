// The metrics file of --metrics-file as monitoring meets it: checked by
// promtool, served by a real node exporter, carried over a failed and a
// refused run. The real program on both stores.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <ctime>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/store/postgres/CPostgresStore.h"
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
typedef std::map<std::string, std::string> Samples;  // "name{labels}" to value

const std::int64_t kDay = 86400;

Samples Parse(const std::string& text) {
    Samples samples;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line[0] != '#') {
            samples[line.substr(0, line.rfind(' '))] = line.substr(line.rfind(' ') + 1);
        }
    }
    return samples;
}

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

class MetricsFile : public ::testing::TestWithParam<std::string> {
protected:
    const CScratchDirectory m_scratch;
    const CScratchDatabase m_database;
    const std::string m_folder = m_scratch.path + "/textfile";
    const std::string m_file = m_folder + "/cleanup_agent.prom";
};

INSTANTIATE_TEST_SUITE_P(BothStores, MetricsFile, ::testing::Values("sqlite", "postgres"));

// A good run, a failed one and a refused one, each checked by promtool and
// scraped by the node exporter; each figure as the JSON result has it.
TEST_P(MetricsFile, EveryRunLeavesAValidFileAndOnlySuccessMovesTheLastSuccess) {
    std::string db = m_scratch.path + "/agent.db";
    if (GetParam() == "postgres") {
        if (m_database.uri.empty()) {
            GTEST_SKIP() << "no test server: CLEANUP_TEST_PG_URI is not set";
        }
        db = m_database.uri;
    }
    const std::vector<std::string> common = {
        "--db",     db,     "--backup",       m_scratch.path + "/backup",
        "--output", "json", "--metrics-file", m_file};
    ASSERT_EQ(::mkdir(m_folder.c_str(), 0755), 0);
    std::vector<std::string> create = common;
    create.push_back("--create");
    ASSERT_EQ(CAgentProcess::Run(create), 0);
    const std::int64_t now = std::time(nullptr);
    if (GetParam() == "postgres") {
        Kol::Host::StoreOptions options;
        options.db = db;
        Kol::Host::CPostgresStore store(options);
        store.FinishOpening();
        store.PrepareLogRange(now - 200 * kDay, now);
    }
    // Class 1 keeps 30 days: the 100-day-old log goes.
    const std::string n = std::to_string(now);
    CTestStore(db).Execute(
        "INSERT INTO logs(id, log_type, retention_class, is_delta, created_at, replicated,"
        " ignored, superseded, owner_id) VALUES (1, 1, 1, 0, " +
        n +
        " - 864000, 0, 0, 0, 1),"
        " (2, 1, 1, 0, " +
        n + " - 8640000, 0, 0, 0, 1), (3, 1, 3, 0, " + n + " - 432000, 0, 0, 0, 1)");

    const int port = FreePort();
    CAgentProcess exporter({"--collector.disable-defaults", "--collector.textfile",
                            "--collector.textfile.directory=" + m_folder,
                            "--web.listen-address=127.0.0.1:" + std::to_string(port)},
                           "/usr/bin/prometheus-node-exporter");
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/metrics";
    const struct {
        std::vector<std::string> arguments;
        int status;
        bool store;
    } runs[] = {
        {{"old-logs", "static-objects", "old-logs"}, 0, true},
        {{"25", "old-logs"}, 1, true},
        {{"--module", m_scratch.path + "/absent.so", "old-logs"}, 3, false},
    };
    // The file is readable by the exporter whatever the umask.
    const struct Umask {
        const mode_t old = ::umask(077);
        ~Umask() { ::umask(old); }
    } restore;
    Samples before = {{"cleanup_agent_last_run_timestamp_seconds", "0"}};
    for (const auto& run : runs) {
        std::vector<std::string> arguments = common;
        arguments.insert(arguments.end(), run.arguments.begin(), run.arguments.end());
        std::string out, err, output;
        ASSERT_EQ(CAgentProcess::Run(arguments, &out, &err), run.status) << err;
        CAgentProcess check({"-c", "promtool check metrics < " + m_file}, "/bin/sh");
        EXPECT_EQ(check.Wait(std::chrono::seconds(60)), 0) << check.Out() << check.Err();
        EXPECT_EQ(CTestStore::Files(m_folder), std::set<std::string>{"cleanup_agent.prom"});
        struct stat status {};
        EXPECT_EQ(::stat(m_file.c_str(), &status) == 0 ? status.st_mode & 0777 : 0, 0644u);
        EXPECT_TRUE(Kol::Testing::WaitUntil(
            [&] {
                CAgentProcess curl({"-sf", "--max-time", "10", url}, "/usr/bin/curl");
                return curl.Wait(std::chrono::seconds(60)) == 0 && !(output = curl.Out()).empty();
            },
            std::chrono::seconds(60)))
            << exporter.Err();
        EXPECT_NE(output.find("\nnode_textfile_scrape_error 0\n"), std::string::npos) << output;
        EXPECT_NE(
            output.find("\ncleanup_agent_last_run_exit_code " + std::to_string(run.status) + "\n"),
            std::string::npos)
            << output;

        Samples metrics = Parse(CTestStore::ReadFile(m_file));
        const std::string last = metrics["cleanup_agent_last_run_timestamp_seconds"];
        EXPECT_EQ(metrics["cleanup_agent_last_run_success"], run.status == 0 ? "1" : "0");
        EXPECT_GT(std::stod(last), std::stod(before["cleanup_agent_last_run_timestamp_seconds"]));
        // A run that did not succeed takes the last success from the store's
        // run history, which keeps whole seconds, or else from the file.
        const std::string earlier = before["cleanup_agent_last_success_timestamp_seconds"];
        EXPECT_EQ(metrics["cleanup_agent_last_success_timestamp_seconds"],
                  run.status == 0 ? last : earlier.substr(0, earlier.find('.')) + ".000");
        // The JSON result's figures, an operation asked twice summed.
        std::map<std::string, std::array<std::int64_t, 4>> sums;   // success: 1 when all
        const nlohmann::json result = nlohmann::json::parse(out);  // outlives the loop
        for (const auto& o : result["operations"]) {
            auto& sum =
                sums.emplace(o["name"], std::array<std::int64_t, 4>{0, 0, 0, 1}).first->second;
            sum = {sum[0] + o["rows_removed"].get<std::int64_t>(),
                   sum[1] + o["bytes_freed_inside_file"].get<std::int64_t>(),
                   sum[2] + o["bytes_returned_to_file_system"].get<std::int64_t>(),
                   sum[3] & (o["status"] == "succeeded" ? 1 : 0)};
        }
        for (const auto& [name, sum] : sums) {
            const char* const names[] = {"rows_removed", "bytes_freed", "bytes_returned",
                                         "operation_success"};
            std::string got, expected;
            for (int i = 0; i < 4; ++i) {
                got += metrics[std::string("cleanup_agent_") + names[i] + "{operation=\"" + name +
                               "\"}"] +
                       " ";
                expected += std::to_string(sum[i]) + " ";
            }
            EXPECT_EQ(got, expected) << name;
        }
        EXPECT_EQ(metrics["cleanup_agent_rows_removed{operation=\"old-logs\"}"],
                  run.status == 0 ? "1" : "0");
        EXPECT_EQ(metrics.count("cleanup_agent_store_bytes"), run.store ? 1u : 0u);
        if (run.store) {
            EXPECT_GT(std::stoll(metrics["cleanup_agent_store_bytes"]), 4096);
            std::string classes;
            for (int k = 1; k <= 5; ++k) {
                const std::string label = "{class=\"" + std::to_string(k) + "\"}";
                classes += metrics["cleanup_agent_store_logs" + label] + ",";
                const auto age = metrics.find("cleanup_agent_oldest_log_age_seconds" + label);
                classes +=
                    age == metrics.end() ? "-" : std::to_string(std::stoll(age->second) / kDay);
                classes += " ";
            }
            EXPECT_EQ(classes, "1,10 0,- 1,5 0,- 0,- ");
        }
        before = metrics;
    }
}

}  // namespace
