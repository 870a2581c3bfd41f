// Writers keep logging into the store while the real cleanup-agent works on
// it. Four writers during every operation: no busy error reaches either side,
// no row inside its retention is removed, and no row outside it is left. One
// writer during storage and the backup of 200,000 logs: the backup copies one
// snapshot and finishes, with or without pauses between the writer's
// transactions.
//
// The real cleanup-agent on a store whose disk is full for a moment in the
// middle of a mapper's work (--inject-write-faults): the failing batch is
// rolled back, earlier batches stay, the store stays sound, the request ends
// with status 40 and exit 1, and the failure is named. On a nearly full disk
// (--inject-disk-space) the cleanup still gets through.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <deque>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/logs/CSymbolContainer.h"
#include "host/testing/CAgentProcess.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol::Testing {
namespace {

using Host::Testing::CAgentProcess;
using Host::Testing::CScratchDirectory;
using Host::Testing::CTestStore;

const std::int64_t kDay = 86400;
const std::int64_t kRetentionDays[5] = {30, 90, 180, 365, 730};
const char* const kRetention = "30,90,180,365,730";
// Per retention class: logs past their retention, and logs within it.
const int kOutsidePerClass = 60000;
const int kInsidePerClass = 4000;
const int kReplicated = 20000;
const std::int32_t kOutsideType = 11;
const std::int32_t kInsideType = 12;
const std::int32_t kReplicatedType = 13;
const std::int32_t kFirstWriterType = 21;
const std::size_t kWriters = 4;

// A scratch directory with the path of a store in it.
struct CScratchStore {
    const CScratchDirectory directory;
    const std::string db = directory.path + "/agent.db";
};

// `insert` (an INSERT ... SELECT ... FROM n) run for i = 0 to count - 1.
std::string ForEach(int count, const std::string& insert) {
    return "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
           std::to_string(count - 1) + ") " + insert;
}

// The ids of the logs of `type`, in order.
std::string IdsOfType(std::int32_t type) {
    return "SELECT id FROM logs WHERE log_type = " + std::to_string(type) + " ORDER BY id";
}

// Another part of the agent that keeps logging into the store while a
// cleanup runs: its own connection (write-ahead log, 5 s busy timeout, as
// the host's), its own thread, transactions of 20 fresh logs (class 1 to 5,
// created now, no flag set) with `pause` between them. Records the ids it
// committed and every error it met, a busy error included; a failed
// transaction is rolled back and the writer goes on. Controlled from one
// thread; the counter may be read at any time.
class CLogWriter {
public:
    CLogWriter(const std::string& path, std::int32_t logType,
               std::chrono::milliseconds pause = std::chrono::milliseconds(2))
        : m_store(path), m_logType(logType), m_pause(pause) {
        m_store.Execute("PRAGMA busy_timeout = 5000; PRAGMA journal_mode = WAL");
        m_thread = std::thread([this] {
            while (!m_stop) {
                WriteOnce();
                std::this_thread::sleep_for(m_pause);
            }
        });
    }
    ~CLogWriter() { Stop(); }

    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    // Rows committed so far.
    std::uint64_t GetInserted() const { return m_inserted.load(); }
    // After Stop: the ids of the committed rows in order, and the errors.
    std::vector<std::int64_t> GetIds() const {
        std::vector<std::int64_t> ids = m_ids;
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    std::vector<std::string> GetErrors() const { return m_errors; }

private:
    void WriteOnce() {
        try {
            m_store.Execute("BEGIN IMMEDIATE");
            const std::vector<std::int64_t> ids = m_store.Ints(ForEach(
                20, "INSERT INTO logs(log_type, retention_class, created_at, symbols) SELECT " +
                        std::to_string(m_logType) + ", 1 + i % 5, " +
                        std::to_string(std::time(nullptr)) +
                        ", randomblob(64) FROM n RETURNING id"));
            m_store.Execute("COMMIT");
            m_ids.insert(m_ids.end(), ids.begin(), ids.end());
            m_inserted += ids.size();
        } catch (const std::exception& error) {
            m_errors.push_back(error.what());
            try {
                m_store.Execute("ROLLBACK");
            } catch (const std::exception&) {  // nothing was begun
            }
        }
    }

    CTestStore m_store;
    const std::int32_t m_logType;
    const std::chrono::milliseconds m_pause;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_inserted{0};
    std::vector<std::int64_t> m_ids;    // writer thread until Stop
    std::vector<std::string> m_errors;  // writer thread until Stop
    std::thread m_thread;
};

// Rows of `type` for every class, `count` per class, created `offset` seconds
// after the class's cut-off (negative: before it), spread over `spread`
// seconds away from the cut-off.
std::string InsertAroundCutoffs(std::int64_t now, std::int32_t type, int count, std::int64_t offset,
                                std::int64_t spread) {
    std::string sql;
    for (int k = 0; k < 5; ++k) {
        const std::int64_t cutoff = now - kRetentionDays[k] * kDay;
        const std::string sign = offset < 0 ? "-" : "+";
        sql += ForEach(count,
                       "INSERT INTO logs(log_type, retention_class, created_at, symbols)"
                       " SELECT " +
                           std::to_string(type) + ", " + std::to_string(k + 1) + ", " +
                           std::to_string(cutoff + offset) + " " + sign + " (i % " +
                           std::to_string(spread) + "), randomblob(64) FROM n;");
    }
    return sql;
}

TEST(HostStress, WritersKeepLoggingWhileACleanupOfEverythingRuns) {
    const CScratchStore scratch;
    const std::string& db = scratch.db;
    ASSERT_EQ(CAgentProcess::Run({"--db", db, "--create"}), 0);

    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    {
        CTestStore store(db);
        store.Execute("BEGIN");
        // The event-log rule keeps everything here: retention alone decides.
        store.Execute(
            "INSERT INTO settings(key, value) VALUES ('max_event_logs_per_type', '1000000000')");
        // An hour and more on either side of each cut-off.
        store.Execute(InsertAroundCutoffs(now, kOutsideType, kOutsidePerClass, -3600, 86400));
        store.Execute(InsertAroundCutoffs(now, kInsideType, kInsidePerClass, 3600, 3600));
        store.Execute(ForEach(kReplicated,
                              "INSERT INTO logs(log_type, retention_class, created_at, replicated,"
                              " symbols) SELECT " +
                                  std::to_string(kReplicatedType) + ", 1 + i % 5, " +
                                  std::to_string(now) + ", 1, randomblob(64) FROM n"));
        store.Execute("COMMIT");
    }
    const std::vector<std::int64_t> inside = CTestStore(db).Ints(IdsOfType(kInsideType));
    ASSERT_EQ(inside.size(), 5u * kInsidePerClass);

    std::deque<CLogWriter> writers;
    for (std::size_t w = 0; w < kWriters; ++w) {
        writers.emplace_back(db, kFirstWriterType + static_cast<std::int32_t>(w));
        ASSERT_TRUE(WaitUntil([&] { return writers.back().GetInserted() > 0; }))
            << "writer " << w << " did not get going";
    }

    std::vector<std::uint64_t> before;
    for (const CLogWriter& writer : writers) {
        before.push_back(writer.GetInserted());
    }
    CAgentProcess agent({"--db", db, "--retention", kRetention, "--batch-rows", "1000", "all"});
    const int status = agent.Wait(std::chrono::seconds(300));
    for (std::size_t w = 0; w < kWriters; ++w) {
        EXPECT_GT(writers[w].GetInserted(), before[w]) << "writer " << w << " stood still";
        writers[w].Stop();
    }

    EXPECT_EQ(status, 0) << agent.Out() << agent.Err();
    for (const CAgentProcess::Record& record : agent.Records()) {
        EXPECT_NE(record.level, "ERROR") << record.module << ": " << record.text;
        EXPECT_NE(record.level, "WARNING") << record.module << ": " << record.text;
    }
    for (const std::string& text : {agent.Out(), agent.Err()}) {
        EXPECT_EQ(text.find("locked"), std::string::npos) << text;
        EXPECT_EQ(text.find("busy"), std::string::npos) << text;
    }

    CTestStore store(db);
    EXPECT_EQ(store.Text("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(store.Ints(IdsOfType(kInsideType)), inside);
    EXPECT_EQ(
        store.Int("SELECT count(*) FROM logs WHERE log_type = " + std::to_string(kOutsideType)), 0);
    EXPECT_EQ(store.Int("SELECT count(*) FROM logs WHERE replicated = 1"), 0);
    for (std::size_t w = 0; w < kWriters; ++w) {
        EXPECT_EQ(writers[w].GetErrors(), std::vector<std::string>{}) << "writer " << w;
        EXPECT_EQ(store.Ints(IdsOfType(kFirstWriterType + static_cast<std::int32_t>(w))),
                  writers[w].GetIds())
            << "writer " << w;
    }
}

// `storage` (kind 1, so the backup follows) on 200,000 logs while a writer
// logs with `pause` between its transactions.
void BackUpWhileLogging(std::chrono::milliseconds pause, bool exitZero) {
    const CScratchStore scratch;
    const std::string& db = scratch.db;
    ASSERT_EQ(CAgentProcess::Run({"--db", db, "--seed-demo", "200000"}), 0);
    CLogWriter writer(db, kFirstWriterType, pause);
    ASSERT_TRUE(WaitUntil([&] { return writer.GetInserted() > 0; }));
    const std::int64_t atStart = CTestStore(db).Int("SELECT count(*) FROM logs");
    CAgentProcess agent({"--db", db, "storage"});
    ASSERT_TRUE(
        agent.WaitForLine("CCleanupModule: Initiating database backup", std::chrono::seconds(30)))
        << agent.Out() << agent.Err();
    const std::uint64_t atBackup = writer.GetInserted();
    // Well under 30 s; Wait kills the program and throws after that.
    const int status = agent.Wait(std::chrono::seconds(30));
    const std::uint64_t atEnd = writer.GetInserted();
    writer.Stop();
    if (exitZero) {
        EXPECT_EQ(status, 0) << agent.Out() << agent.Err();
        EXPECT_EQ(writer.GetErrors(), std::vector<std::string>{});
    }
    EXPECT_GT(atEnd, atBackup) << "the writer stood still during the backup";

    const std::string out = agent.Out();
    std::smatch snapshot;
    ASSERT_TRUE(std::regex_search(
        out, snapshot,
        std::regex(R"(host: backup \(to \S+\): removed 0 rows, freed 0 bytes .*, )"
                   R"(a snapshot holding (\d+) logs; write-ahead log .+ before, .+ after.*; )"
                   R"(the file grew by \d+ bytes meanwhile\n)")))
        << out;
    EXPECT_EQ(out.find("freed -"), std::string::npos) << out;
    CTestStore copy(db + ".bak");
    EXPECT_EQ(copy.Text("PRAGMA integrity_check"), "ok");
    const std::int64_t copied = copy.Int("SELECT count(*) FROM logs");
    EXPECT_EQ(copied, std::stoll(snapshot[1]));
    EXPECT_GE(copied, atStart);
    EXPECT_EQ(CTestStore(db).Ints(IdsOfType(kFirstWriterType)), writer.GetIds());
}

TEST(HostStress, TheBackupCopiesOneSnapshotWhileAWriterLogsWithShortPauses) {
    BackUpWhileLogging(std::chrono::milliseconds(3), true);
}

TEST(HostStress, TheBackupFinishesWhileAWriterNeverPauses) {
    // Such a writer leaves the program's own writes (status events) little
    // room, so only the backup's outcome is asked for here.
    BackUpWhileLogging(std::chrono::milliseconds(0), false);
}

const int kKept = 1000;
const int kBatchRows = 100;

// The progress symbol (2850) of each stored status event.
std::vector<std::int64_t> ProgressCodes(CTestStore& store) {
    std::vector<std::int64_t> codes;
    for (const std::string& blob : store.Blobs("SELECT symbols FROM status_events ORDER BY id")) {
        Common::Logs::CSymbolContainer symbols;
        symbols.DeserializeBinary(blob);
        codes.push_back(symbols.GetInt64(2850));
    }
    return codes;
}

TEST(HostFaults, AFullDiskPartWayThroughAMapperLeavesTheStoreSoundAndTheRequestFailed) {
    CScratchStore scratch;
    ASSERT_EQ(CAgentProcess::Run({"--db", scratch.db, "--create"}), 0);
    std::vector<std::int64_t> kept;
    {
        CTestStore store(scratch.db);
        const std::string now = std::to_string(std::time(nullptr));
        // The first kReplicated ids (from 1 on) replicated, the rest not.
        store.Execute(ForEach(kReplicated + kKept,
                              "INSERT INTO logs(log_type, retention_class, created_at, replicated,"
                              " symbols) SELECT 1, 5, " +
                                  now + ", i < " + std::to_string(kReplicated) +
                                  ", randomblob(100) FROM n"));
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
    const std::string out = agent.Out();
    const auto has = [&](const std::string& part) { return out.find(part) != std::string::npos; };
    EXPECT_TRUE(has(" s, " + rows + " removed before: database or disk is full\n")) << out;
    EXPECT_TRUE(
        has("summary: replicated-logs: failed: database or disk is full; before that removed " +
            rows + ", "))
        << out;
    EXPECT_FALSE(has("before that removed " + rows + ", freed 0 bytes")) << out;

    // The store is usable as it is: a later run removes the rest.
    EXPECT_EQ(CAgentProcess::Run({"--db", scratch.db, "replicated-logs"}), 0);
    EXPECT_EQ(store.Int("SELECT count(*) FROM logs WHERE replicated = 1"), 0);
    EXPECT_EQ(store.Ints("SELECT id FROM logs WHERE replicated = 0 ORDER BY id"), kept);
}

TEST(HostFaults, AWriterHoldingTheLockForSecondsDelaysARunButDoesNotFailIt) {
    CScratchStore scratch;
    ASSERT_EQ(CAgentProcess::Run({"--db", scratch.db, "--create"}), 0);
    CTestStore(scratch.db)
        .Execute(ForEach(500,
                         "INSERT INTO logs(log_type, retention_class, created_at, replicated)"
                         " SELECT 1, 5, 0, 1 FROM n"));
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
    // Not asserted: the writer thread must be joined either way.
    WaitUntil([&] { return holds > 0; });
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
        std::string err;
        EXPECT_EQ(CAgentProcess::Run({"--db", scratch.db, "--inject-write-faults", window, "all"},
                                     nullptr, &err),
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
