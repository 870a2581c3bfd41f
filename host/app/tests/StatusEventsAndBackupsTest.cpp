// The real program's status events, backups, dry runs and storage report on
// temporary stores.

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "contracts/datadefinition/Logs.pb.h"
#include "host/app/tests/CEndToEndTest.h"
#include "host/testing/CAgentProcess.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::Testing::CAgentProcess;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

class StatusEventsAndBackups : public Kol::Host::Testing::CEndToEndTest {};

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

TEST_F(StatusEventsAndBackups, KindOneStoresTwoStatusEventsWithNineSymbolsInBothForms) {
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
TEST_F(StatusEventsAndBackups,
       AFailedOperationOrARefusedFinalStatusEventFailsTheRequestAndIsNamed) {
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

TEST_F(StatusEventsAndBackups,
       BackupIsAVerifiedCopyWithTheStoresModeAndAFailedOneLeavesNothingBehind) {
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

TEST_F(StatusEventsAndBackups,
       DryRunFindsEveryKindOfRowHoldsTheLockOneBatchAtATimeAndChangesNothing) {
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
TEST_F(StatusEventsAndBackups, OtherKindsStorageReportsTheLogAndTruncatesItWhenNoReaderHoldsIt) {
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
