// The storage operation's size limits on the real program, on both stores:
// the oldest logs go until the store fits (PostgreSQL: whole partitions),
// never one under --min-age; a dry run only counts; bad sizes and --keep-free
// on PostgreSQL are refused before the store is touched.

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <pqxx/pqxx>

#include "host/cli/CSizeLimitOptions.h"
#include "host/mappers/CSizeLimiter.h"
#include "host/store/IStoreMaintenance.h"
#include "host/testing/CAgentProcess.h"
#include "host/testing/CBothStoresTest.h"
#include "host/testing/CScratchDatabase.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::CSizeLimiter;
using Kol::Host::CSizeLimitOptions;
using Kol::Host::IStoreMaintenance;
using Kol::Host::SizeLimits;
using Kol::Host::Testing::CAgentProcess;
using Kol::Host::Testing::CBothStoresTest;
using Kol::Host::Testing::CScratchDatabase;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;
using ::testing::HasSubstr;
using ::testing::Not;

std::int64_t FileBytes(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_size : 0;
}

class SizeLimits_ : public CBothStoresTest {
protected:
    void SetUp() override {
        CBothStoresTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_EQ(Run({"--create", "--seed-demo", "6000"}), 0) << m_err;
        // The free pages and orphan blobs the seeding left go first.
        ASSERT_EQ(Run({"storage"}), 0) << m_err;
    }

    // The storage operation's JSON entry of a run of `arguments`.
    nlohmann::json Storage(std::vector<std::string> arguments, int status = 0) {
        arguments.insert(arguments.end(), {"--output", "json", "storage"});
        EXPECT_EQ(Run(arguments), status) << m_err;
        const nlohmann::json document = nlohmann::json::parse(m_out);
        EXPECT_EQ(document["operations"].size(), 1u);
        return document["operations"][0];
    }

    // What --max-size bounds: SQLite's file and write-ahead log, PostgreSQL's
    // partitions of logs and log_blobs.
    std::int64_t StoreBytes() {
        if (OnSqlite()) {
            return FileBytes(m_db) + FileBytes(m_db + "-wal");
        }
        return CTestStore(m_db).Int(
            "SELECT ((SELECT sum(pg_total_relation_size(relid)) FROM pg_partition_tree('logs'))"
            " + pg_total_relation_size('log_blobs'))::bigint");
    }
};

INSTANTIATE_TEST_SUITE_P(BothStores, SizeLimits_, ::testing::Values("sqlite", "postgres"));

TEST_P(SizeLimits_, HalfTheSizeRemovesTheOldestLogsOnlyAndLeavesASoundStore) {
    if (!OnSqlite()) {
        // Older than every partition, they sit in default partitions, which
        // never go whole: being the oldest, they go first, in batches.
        CTestStore(m_db).Execute(
            "INSERT INTO logs(log_type, retention_class, created_at) VALUES (1, 3, 1000), "
            "(1, 4, 2000)");
    }
    const std::int64_t before = StoreBytes();
    const std::int64_t limit = before / 2;
    const std::string oldestFirst = "SELECT id FROM logs ORDER BY created_at, id";
    const std::vector<std::int64_t> logs = CTestStore(m_db).Ints(oldestFirst);
    const std::int64_t total = static_cast<std::int64_t>(logs.size());

    // No connection of ours stays open: the program's last one folds the
    // write-ahead log (the run history's row) back in.
    const nlohmann::json storage = Storage({"--max-size", std::to_string(limit)});
    EXPECT_EQ(storage["status"], "succeeded");
    EXPECT_EQ(storage["warnings"], nlohmann::json::array());
    const nlohmann::json& limits = storage["size_limits"];
    EXPECT_EQ(limits["max_size"], limit);
    EXPECT_EQ(limits["keep_free"], nullptr);
    EXPECT_EQ(limits["min_age_days"], 1);
    EXPECT_EQ(limits["size_limits_met"], true);
    EXPECT_EQ(limits["reason"], nullptr);
    EXPECT_EQ(limits["estimate"], false);
    EXPECT_EQ(limits["bytes_before"], before);
    const std::int64_t after = StoreBytes();
    EXPECT_LE(limits["bytes_after"].get<std::int64_t>(), limit);
    EXPECT_LE(after, limit);
    EXPECT_GE(after, limit * 6 / 10);

    CTestStore store(m_db);
    const std::int64_t kept = store.Int("SELECT count(*) FROM logs");
    EXPECT_EQ(limits["logs_removed"], total - kept);
    EXPECT_GT(total - kept, 0);
    // Every log removed was older than every log kept: the kept ones are the
    // newest of before, the very newest among them.
    const std::vector<std::int64_t> left = store.Ints(oldestFirst);
    EXPECT_EQ(left, std::vector<std::int64_t>(logs.end() - kept, logs.end()));
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(left.back(), logs.back());
    EXPECT_EQ(store.Int("SELECT count(*) FROM log_blobs WHERE log_id NOT IN (SELECT id FROM logs)"),
              0);
    if (OnSqlite()) {
        EXPECT_EQ(store.Text("PRAGMA integrity_check"), "ok");
        // The backup comes after the limits and holds what they left.
        EXPECT_EQ(CTestStore(m_directory + "/backup").Int("SELECT count(*) FROM logs"), kept);
    }
    EXPECT_EQ(Storage({"--max-size", std::to_string(limit)})["size_limits"]["logs_removed"], 0);

    // A limit under what can go: every log older than --min-age goes
    // (PostgreSQL: every partition that ends before it), and a second run
    // finds nothing more to remove.
    const nlohmann::json floor = Storage({"--max-size", "1"})["size_limits"];
    EXPECT_EQ(floor["size_limits_met"], false);
    EXPECT_GT(floor["logs_removed"].get<std::int64_t>(), 0);
    EXPECT_THAT(floor["reason"].get<std::string>(), HasSubstr(" than --min-age (1 days)"));
    if (!OnSqlite()) {
        EXPECT_THAT(floor["reason"].get<std::string>(),
                    HasSubstr(" of log_blobs and the default partitions, whose free space is "
                              "reused for new rows"));
    }
    const nlohmann::json again = Storage({"--max-size", "1"})["size_limits"];
    EXPECT_EQ(again["logs_removed"], 0);
    EXPECT_EQ(again["size_limits_met"], false);
    EXPECT_EQ(store.Ints(oldestFirst).back(), logs.back());
}

TEST_P(SizeLimits_, FloorAndDryRun) {
    CTestStore store(m_db);
    const std::int64_t oldest = store.Int("SELECT min(created_at) FROM logs");
    const std::int64_t limit = StoreBytes() / 2;

    // The floor: nothing is older than --min-age, so nothing goes.
    const int days = static_cast<int>((std::time(nullptr) - oldest) / 86400) + 2;
    const std::string metrics = m_directory + "/agent.prom";
    nlohmann::json storage = Storage({"--max-size", std::to_string(limit), "--min-age",
                                      std::to_string(days), "--metrics-file", metrics});
    EXPECT_EQ(storage["status"], "succeeded");
    EXPECT_EQ(storage["size_limits"]["logs_removed"], 0);
    EXPECT_EQ(storage["size_limits"]["size_limits_met"], false);
    const std::string reason = storage["size_limits"]["reason"];
    EXPECT_THAT(reason,
                HasSubstr("no log is older than --min-age (" + std::to_string(days) + " days)"));
    EXPECT_EQ(storage["warnings"], nlohmann::json::array({"size limits not met: " + reason}));
    EXPECT_THAT(m_err, HasSubstr("WARNING host: storage: size limits not met: " + reason));
    EXPECT_THAT(CTestStore::ReadFile(metrics),
                HasSubstr("\n# TYPE cleanup_agent_size_limit_met gauge\n"
                          "cleanup_agent_size_limit_met 0\n"));
    ASSERT_EQ(Run({"--metrics-file", metrics, "storage"}), 0) << m_err;
    EXPECT_THAT(CTestStore::ReadFile(metrics), Not(HasSubstr("size_limit")));

    // A dry run counts what the limit would take and changes nothing (but
    // for its run history's row).
    const auto content = [&store] {
        return std::make_pair(store.Ints("SELECT id FROM logs ORDER BY id"),
                              store.Ints("SELECT id FROM log_blobs ORDER BY id"));
    };
    const auto before = content();
    storage = Storage({"--max-size", std::to_string(limit), "--dry-run"});
    const std::int64_t estimate = storage["size_limits"]["logs_removed"];
    EXPECT_GT(estimate, 0);
    EXPECT_EQ(storage["size_limits"]["estimate"], true);
    EXPECT_EQ(storage["size_limits"]["size_limits_met"], true);
    EXPECT_GE(storage["rows_removed"].get<std::int64_t>(), estimate);
    EXPECT_EQ(content(), before);

    // The store report shows the limits configured.
    ASSERT_EQ(Run({"--report", "--max-size", "3M", "--min-age", "7"}), 0) << m_err;
    EXPECT_THAT(m_out, HasSubstr("\nsize limits   --max-size 3.0 MiB (3145728 bytes), --min-age 7 "
                                 "days\n"));
    if (!OnSqlite()) {
        // Planned by the partitions' own sizes: the dry run's count is exact.
        const nlohmann::json run = Storage({"--max-size", std::to_string(limit)})["size_limits"];
        EXPECT_EQ(run["logs_removed"], estimate);
        EXPECT_EQ(run["bytes_after"], storage["size_limits"]["bytes_after"]);

        // A partition another session holds is left and named, with all
        // its logs, and the run stops there.
        const std::string oldest =
            store.Text("SELECT tableoid::regclass::text FROM logs ORDER BY created_at, id LIMIT 1");
        const std::int64_t held = store.Int("SELECT count(*) FROM " + oldest);
        pqxx::connection holder(m_db);
        pqxx::work lock(holder);
        lock.exec("LOCK TABLE " + oldest + " IN ACCESS SHARE MODE");
        storage = Storage({"--max-size", "1", "--busy-timeout", "1", "--lock-timeout", "20"});
        const std::string left = storage["size_limits"]["reason"];
        EXPECT_THAT(left, HasSubstr(": partitions that could not be dropped are left for a later "
                                    "run"));
        EXPECT_EQ(storage["warnings"],
                  nlohmann::json::array(
                      {"partition " + oldest +
                           " left for a later run: lock not granted within --busy-timeout (1 s), "
                           "held by pid " +
                           std::to_string(holder.backendpid()),
                       "size limits not met: " + left}));
        EXPECT_EQ(store.Int("SELECT count(*) FROM " + oldest), held);
        return;
    }
    ASSERT_EQ(Run({"--report", "--keep-free", "1024", "--output", "json"}), 0) << m_err;
    EXPECT_EQ(nlohmann::json::parse(m_out)["size_limits"],
              nlohmann::json({{"max_size", nullptr}, {"keep_free", 1024}, {"min_age_days", 1}}));

    // --keep-free on a simulated disk that may take 2,000,000 more bytes:
    // asking for half the store on top of that frees about half of it.
    const std::int64_t bytes = StoreBytes();
    const std::int64_t space = 2000000;
    const std::int64_t keepFree = space + bytes / 2;
    storage = Storage(
        {"--inject-disk-space", std::to_string(space), "--keep-free", std::to_string(keepFree)});
    EXPECT_EQ(storage["status"], "succeeded") << storage;
    EXPECT_EQ(storage["size_limits"]["keep_free"], keepFree);
    EXPECT_EQ(storage["size_limits"]["size_limits_met"], true);
    EXPECT_GE(space + bytes - StoreBytes(), keepFree);
    EXPECT_LE(space + bytes - StoreBytes(), keepFree + bytes * 4 / 10);
    EXPECT_EQ(store.Text("PRAGMA integrity_check"), "ok");

    // A file without incremental auto-vacuum cannot shrink: nothing goes.
    store.Execute("PRAGMA auto_vacuum = NONE");
    store.Execute("VACUUM");
    const auto kept = content();
    storage = Storage({"--max-size", "1"});
    EXPECT_EQ(storage["size_limits"]["logs_removed"], 0);
    EXPECT_THAT(storage["size_limits"]["reason"].get<std::string>(),
                HasSubstr("does not use incremental auto-vacuum, so its file cannot shrink"));
    EXPECT_EQ(content(), kept);
}

TEST(SizeLimitOptions, SizesLimitsArithmeticAndRefusals) {
    EXPECT_EQ(CSizeLimitOptions::ParseSize("0", "--max-size"), 0);
    EXPECT_EQ(CSizeLimitOptions::ParseSize("1500", "--max-size"), 1500);
    EXPECT_EQ(CSizeLimitOptions::ParseSize("3K", "--max-size"), 3072);
    EXPECT_EQ(CSizeLimitOptions::ParseSize("2MiB", "--max-size"), 2097152);
    EXPECT_EQ(CSizeLimitOptions::ParseSize("5G", "--max-size"), 5368709120);
    EXPECT_EQ(CSizeLimitOptions::ParseSize("1TiB", "--max-size"), 1099511627776);
    EXPECT_EQ(CSizeLimitOptions::ParseSize("8388607T", "--max-size"), 9223370937343148032);
    for (const char* bad : {"", "-1", "1.5G", "12X", "1k", "G", "8388608T", "1 M"}) {
        try {
            CSizeLimitOptions::ParseSize(bad, "--keep-free");
            ADD_FAILURE() << bad;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("--keep-free: \"") + bad +
                          "\" is not a size (bytes, or a number with K, M, G or T, powers of "
                          "1024)");
        }
    }
    SizeLimits limits;
    limits.maxSize = 1000;
    EXPECT_EQ(CSizeLimiter::Excess(limits, 1500, -1), 500);
    limits.keepFree = 2000;
    EXPECT_EQ(CSizeLimiter::Excess(limits, 900, 1200), 800);
    EXPECT_EQ(CSizeLimiter::Excess(limits, 1500, 1800), 500);
    EXPECT_EQ(CSizeLimiter::Excess(limits, 900, -1), 0);  // unknown space: max-size alone
    EXPECT_EQ(CSizeLimiter::LogsFor(500, 1000, 10), 5u);
    EXPECT_EQ(CSizeLimiter::LogsFor(501, 1000, 10), 6u);
    EXPECT_EQ(CSizeLimiter::LogsFor(1, 1000, 10), 1u);
    EXPECT_EQ(CSizeLimiter::LogsFor(0, 1000, 10), 0u);
    EXPECT_EQ(CSizeLimiter::LogsFor(500, 1000, 0), 0u);
    // The cut: the fewest oldest parts that cover the excess, those ending
    // together taken together, none ending after the floor.
    const std::vector<IStoreMaintenance::WholePart> parts = {
        {0, 10, 100}, {0, 10, 50}, {10, 20, 100}, {20, 30, 100}};
    std::int64_t cut = 0;
    std::int64_t freed = 0;
    EXPECT_TRUE(CSizeLimiter::CutFor(parts, 30, 120, cut, freed));
    EXPECT_EQ(cut, 10);
    EXPECT_EQ(freed, 150);
    EXPECT_TRUE(CSizeLimiter::CutFor(parts, 30, 151, cut, freed));
    EXPECT_EQ(cut, 20);
    EXPECT_EQ(freed, 250);
    EXPECT_TRUE(CSizeLimiter::CutFor(parts, 29, 1000, cut, freed));
    EXPECT_EQ(cut, 20);
    EXPECT_EQ(freed, 250);
    EXPECT_FALSE(CSizeLimiter::CutFor(parts, 9, 1, cut, freed));
}

TEST(SizeLimitOptions, BadSizesAndKeepFreeOnPostgresqlAreUsageErrorsThatTouchNothing) {
    const CScratchDirectory scratch;
    const std::string db = scratch.path + "/agent.db";
    std::string out;
    std::string err;
    EXPECT_EQ(CAgentProcess::Run({"--db", db, "--max-size", "1.5G", "storage"}, &out, &err), 2);
    EXPECT_EQ(err,
              "cleanup-agent: --max-size: \"1.5G\" is not a size (bytes, or a number with K, M, "
              "G or T, powers of 1024)\nTry 'cleanup-agent --help'.\n");
    EXPECT_EQ(CAgentProcess::Run({"--db", db, "--min-age", "-1", "storage"}, &out, &err), 2);
    EXPECT_EQ(err,
              "cleanup-agent: --min-age: \"-1\" is not a number of days from 0 to 65535\n"
              "Try 'cleanup-agent --help'.\n");
    EXPECT_FALSE(CTestStore::Exists(db));

    const CScratchDatabase database;
    ASSERT_FALSE(database.uri.empty()) << "no test server: CLEANUP_TEST_PG_URI is not set";
    ASSERT_EQ(
        CAgentProcess::Run({"--db", database.uri, "--create", "--seed-demo", "200"}, &out, &err), 0)
        << err;
    const std::string dump = CTestStore(database.uri).Dump();
    EXPECT_EQ(
        CAgentProcess::Run(
            {"--db", database.uri, "--max-size", "1M", "--keep-free", "1G", "storage"}, &out, &err),
        2);
    EXPECT_EQ(err,
              "cleanup-agent: --keep-free is for SQLite stores only: a PostgreSQL server keeps "
              "its files on its own file system, which this program does not see\n"
              "Try 'cleanup-agent --help'.\n");
    EXPECT_EQ(CTestStore(database.uri).Dump(), dump);
}

}  // namespace
